#include "kestrand/report_window/report_windows.h"

#include <QApplication>
#include <vector>

#include "kestrand/report_window/report_window.h"

namespace kestrand::report_window {

namespace {

std::vector<ReportWindow*> openWindows() {
    std::vector<ReportWindow*> windows;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<ReportWindow*>(top)) {
            windows.push_back(window);
        }
    }
    return windows;
}

}  // namespace

ReportWindows::~ReportWindows() {
    for (ReportWindow* window : openWindows()) {
        delete window;
    }
}

void ReportWindows::open(QWidget* dialog, const settings::ReportOrder& order) {
    ReportRequest request;
    request.folder = order.folder;
    request.kinds = order.kinds;
    ReportWindow::open(dialog, platform_, request);
}

void ReportWindows::closeAll() {
    for (ReportWindow* window : openWindows()) {
        window->close();
    }
}

}  // namespace kestrand::report_window
