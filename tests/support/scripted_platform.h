#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "forms/platform.h"

namespace testing_support {

// Answers open-file dialogs from a script: each entry a path, or nullopt for Cancel.
// A dialog with no answer left counts as a Cancel and is recorded as unexpected. Save
// dialogs are answered from a script of their own.
class ScriptedChooser final : public forms::FileChooser {
  public:
    void answer(const QString& path) { answers_.push_back(path); }
    void cancel() { answers_.push_back(std::nullopt); }
    void answerSave(const QString& path) { saveAnswers_.push_back(path); }
    std::optional<QString> choose(QWidget* parent, const forms::FileRequest& request) override;
    std::optional<QString> chooseSave(QWidget* parent, const forms::FileRequest& request) override;

    std::vector<forms::FileRequest> requests;      // every open dialog shown, in order
    std::vector<forms::FileRequest> saveRequests;  // every save dialog shown, in order
    int unexpected = 0;                            // dialogs shown with no scripted answer

  private:
    std::deque<std::optional<QString>> answers_;
    std::deque<QString> saveAnswers_;
};

// Answers folder choosers from a script: each entry a folder, or nullopt for Cancel. A
// chooser with no answer left counts as a Cancel and is recorded as unexpected.
class ScriptedFolderChooser final : public forms::FolderChooser {
  public:
    void answer(const QString& folder) { answers_.push_back(folder); }
    void cancel() { answers_.push_back(std::nullopt); }
    std::optional<QString> chooseFolder(QWidget* parent,
                                        const forms::FolderRequest& request) override;

    std::vector<forms::FolderRequest> requests;  // every chooser shown, in order
    int unexpected = 0;                          // choosers shown with no scripted answer

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
    // Text boxes are answered from a script; with none left they count as a Cancel.
    void answerText(const QString& text) { texts.push_back(text); }
    std::optional<QString> askText(QWidget*, const QString&, const QString&,
                                   const QString&) override {
        ++asked;
        if (texts.empty()) {
            return std::nullopt;
        }
        QString next = texts.front();
        texts.pop_front();
        return next;
    }
    std::vector<Message> messages;
    std::deque<QString> texts;
    int asked = 0;
};

// Runs long jobs on the calling thread, so a test sees every step in order; told to, it
// presses Cancel before the next job starts.
class ScriptedProgress final : public forms::ProgressRunner {
  public:
    bool run(QWidget*, const forms::ProgressJob& job) override {
        ++runs;
        if (cancelNext && job.cancel != nullptr) {
            cancelNext = false;
            job.cancel->store(true);
        }
        job.work();
        lastDone = job.done != nullptr ? job.done->load() : -1;
        lastTotal = job.total;
        if (afterNext) {
            std::exchange(afterNext, nullptr)();
        }
        return job.cancel == nullptr || !job.cancel->load();
    }
    bool cancelNext = false;
    // Runs once, right after the next job's work (a test changes the file there).
    std::function<void()> afterNext;
    int runs = 0;
    // The last job's progress when its work ended, and what it counted against.
    std::int64_t lastDone = -1;
    std::int64_t lastTotal = -1;
};

// All of them together, as a window takes them.
struct ScriptedPlatform {
    ScriptedChooser chooser;
    RecordingEnd programEnd;
    RecordingMessenger messenger;
    ScriptedFolderChooser folderChooser;
    ScriptedProgress progress;
    forms::Platform platform{chooser, programEnd, messenger, folderChooser, progress};
};

}  // namespace testing_support
