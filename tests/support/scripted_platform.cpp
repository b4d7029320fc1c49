#include "tests/support/scripted_platform.h"

namespace testing_support {

std::optional<QString> ScriptedChooser::choose(QWidget*, const forms::FileRequest& request) {
    requests.push_back(request);
    if (answers_.empty()) {
        ++unexpected;
        return std::nullopt;
    }
    auto next = answers_.front();
    answers_.pop_front();
    return next;
}

std::optional<QString> ScriptedChooser::chooseSave(QWidget*, const forms::FileRequest& request) {
    saveRequests.push_back(request);
    if (saveAnswers_.empty()) {
        ++unexpected;
        return std::nullopt;
    }
    QString next = saveAnswers_.front();
    saveAnswers_.pop_front();
    return next;
}

std::optional<QString> ScriptedFolderChooser::chooseFolder(QWidget*,
                                                           const forms::FolderRequest& request) {
    requests.push_back(request);
    if (answers_.empty()) {
        ++unexpected;
        return std::nullopt;
    }
    auto next = answers_.front();
    answers_.pop_front();
    return next;
}

}  // namespace testing_support
