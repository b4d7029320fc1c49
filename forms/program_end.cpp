#include "forms/program_end.h"

#include <QApplication>
#include <QWidget>

namespace forms {

void ApplicationEnd::end() {
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        window->hide();
    }
    QCoreApplication::exit(0);
}

}  // namespace forms
