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

}  // namespace testing_support
