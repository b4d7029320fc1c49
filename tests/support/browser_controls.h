#pragma once

#include <QColor>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QWidget>

#include "tests/support/controls.h"
#include "trailscan/browser/browser_window.h"

namespace testing_support {

// The record browser's two button colours.
inline const QColor kOrange(255, 192, 128);
inline const QColor kRed(255, 0, 0);

// The record browser's controls for a fixture that holds one browser window, found by
// their object names.
class BrowserControls {
  protected:
    virtual ~BrowserControls() = default;
    virtual const QWidget* browserWindow() const = 0;

    QLineEdit* box(int i) const {
        return control<QLineEdit>(browserWindow(), QStringLiteral("Text1"), i);
    }
    QLineEdit* positionBox() const {
        return control<QLineEdit>(browserWindow(), QStringLiteral("Text2"));
    }
    QPushButton* button(const QString& name) const {
        return control<QPushButton>(browserWindow(), name);
    }
    QPushButton* forward() const { return button(QStringLiteral("Command1")); }
    QPushButton* back() const { return button(QStringLiteral("Command2")); }
    QPushButton* choose() const { return button(QStringLiteral("Command3")); }

    QString field(int i) const { return box(i)->text(); }
    QString position() const { return positionBox()->text(); }

    static QColor colourOf(QPushButton* b) {
        return b->property(trailscan::browser::BrowserWindow::kBackColourProperty).value<QColor>();
    }
    static void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
};

}  // namespace testing_support
