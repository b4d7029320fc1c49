#pragma once

#include <QString>
#include <deque>
#include <optional>
#include <vector>

#include "forms/platform.h"

namespace testing_support {

// Answers open-file dialogs from a script: each entry a path, or nullopt for Cancel.
// A dialog with no answer left counts as a Cancel and is recorded as unexpected.
class ScriptedChooser final : public forms::FileChooser {
public:
    void answer(const QString& path) { answers_.push_back(path); }
    void cancel() { answers_.push_back(std::nullopt); }
    std::optional<QString> choose(QWidget* parent, const forms::FileRequest& request) override;

    std::vector<forms::FileRequest> requests;  // every dialog shown, in order
    int unexpected = 0;                        // dialogs shown with no scripted answer

private:
    std::deque<std::optional<QString>> answers_;
};

// Records that the program was ended instead of ending the test process.
class RecordingEnd final : public forms::ProgramEnd {
public:
    void end() override { ++count; }
    int count = 0;
};

// Records message boxes instead of showing them.
class RecordingMessenger final : public forms::Messenger {
public:
    struct Message {
        QString title;
        QString text;
        bool warning = false;
    };
    void inform(QWidget*, const QString& title, const QString& text) override {
        messages.push_back({title, text, false});
    }
    void warn(QWidget*, const QString& title, const QString& text) override {
        messages.push_back({title, text, true});
    }
    std::vector<Message> messages;
};

// The three together, as a window takes them.
struct ScriptedPlatform {
    ScriptedChooser chooser;
    RecordingEnd programEnd;
    RecordingMessenger messenger;
    forms::Platform platform{chooser, programEnd, messenger};
};

}  // namespace testing_support
