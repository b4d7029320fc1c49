#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "tests/accessibility/accessible_tree.h"
#include "tests/support/browser_controls.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_files.h"
#include "trailscan/browser/browser_window.h"

namespace {

using namespace accessibility_test;
using testing_support::logLine;
using testing_support::sampleFields;
using testing_support::ScriptedPlatform;
using testing_support::TempDir;
using trailscan::browser::BrowserWindow;

class BrowserWindowAccessTest : public testing::Test, protected testing_support::BrowserControls {
  protected:
    void SetUp() override { window = std::make_unique<BrowserWindow>(scripted.platform); }
    const QWidget* browserWindow() const override { return window.get(); }

    QString writeLog(const std::string& name, int records) {
        std::string bytes;
        for (int n = 1; n <= records; ++n) {
            bytes += logLine(sampleFields(n));
        }
        return QString::fromStdString(dir.write(name, bytes).string());
    }

    TempDir dir;
    ScriptedPlatform scripted;
    std::unique_ptr<BrowserWindow> window;
};

TEST_F(BrowserWindowAccessTest, EveryControlIsNamedForAScreenReaderWithItsRole) {
    window->show();
    std::vector<ExpectedControl> expected;
    // The columns the program gives a meaning to say so; the others go by number.
    const QString meanings[] = {"IP address", "user name", {}, {}, {}, "date", "time", "site"};
    for (int i = 0; i < 23; ++i) {
        const QString meaning = i < 8 ? meanings[i] : QString();
        expected.push_back({QStringLiteral("Text1(%1)").arg(i), QAccessible::EditableText,
                            meaning.isEmpty()
                                ? QStringLiteral("Field %1").arg(i)
                                : QStringLiteral("Field %1, %2").arg(i).arg(meaning)});
    }
    expected.push_back({"Text2", QAccessible::EditableText, "Record position"});
    expected.push_back({"Command1", QAccessible::PushButton, "Next record"});
    expected.push_back({"Command2", QAccessible::PushButton, "Previous record"});
    expected.push_back({"Command3", QAccessible::PushButton, "Choose another log"});
    expectAccessibleControls(window.get(), expected);
}

TEST_F(BrowserWindowAccessTest, TabWalksTheDesignedOrderAndTheButtonsStepWithSpace) {
    activate(window.get(), box(0));
    ASSERT_EQ(QApplication::focusWidget(), box(0));

    std::vector<QWidget*> expected;
    for (int i = 0; i < 23; ++i) {
        expected.push_back(box(i));
    }
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        expected.push_back(button(name));
    }
    expected.push_back(positionBox());
    EXPECT_EQ(objectNames(tabWalk(60)), objectNames(expected));
    EXPECT_EQ(QApplication::focusWidget(), box(0)) << "Tab comes round again";

    // ">>" with Space: the first choice, then one step on.
    scripted.chooser.answer(writeLog("X3010214.log", 3));
    pressSpace(button("Command1"));
    EXPECT_EQ(positionBox()->text(), "1 OF 4");
    pressSpace(button("Command1"));
    EXPECT_EQ(positionBox()->text(), "2 OF 4");
    EXPECT_EQ(box(1)->text(), QString::fromStdString(sampleFields(2)[1]));

    // "<<" with Space steps back.
    pressSpace(button("Command2"));
    EXPECT_EQ(positionBox()->text(), "1 OF 4");
    EXPECT_EQ(box(1)->text(), QString::fromStdString(sampleFields(1)[1]));

    // A screen reader reads each record box's field as its value.
    for (int i = 0; i < 23; ++i) {
        EXPECT_EQ(QAccessible::queryAccessibleInterface(box(i))->text(QAccessible::Value),
                  box(i)->text())
            << i;
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(positionBox())->text(QAccessible::Value),
              "1 OF 4");

    // "| |" with Space chooses another log.
    scripted.chooser.answer(writeLog("X3010215.log", 5));
    pressSpace(button("Command3"));
    EXPECT_EQ(positionBox()->text(), "1 OF 6");
    EXPECT_EQ(scripted.chooser.requests.size(), 2u);
    EXPECT_EQ(scripted.chooser.unexpected, 0);
    EXPECT_EQ(scripted.programEnd.count, 0);
}

}  // namespace
