#include "tests/support/scripted_platform.h"

namespace testing_support {

namespace {
// The next scripted answer; with none left, a Cancel that counts as unexpected.
template <class Answers>
std::optional<QString> nextAnswer(Answers& answers, int& unexpected) {
    if (answers.empty()) {
        ++unexpected;
        return std::nullopt;
    }
    std::optional<QString> next = answers.front();
    answers.pop_front();
    return next;
}
}  // namespace

std::optional<QString> ScriptedChooser::choose(QWidget*, const forms::FileRequest& request) {
    requests.push_back(request);
    return nextAnswer(answers_, unexpected);
}

std::optional<QString> ScriptedChooser::chooseSave(QWidget*, const forms::FileRequest& request) {
    saveRequests.push_back(request);
    return nextAnswer(saveAnswers_, unexpected);
}

std::optional<QString> ScriptedFolderChooser::chooseFolder(QWidget*,
                                                           const forms::FolderRequest& request) {
    requests.push_back(request);
    return nextAnswer(answers_, unexpected);
}

}  // namespace testing_support
