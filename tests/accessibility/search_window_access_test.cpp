#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "tests/accessibility/accessible_tree.h"
#include "tests/support/controls.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_files.h"
#include "trailscan/report/report_view.h"
#include "trailscan/search/search_window.h"

namespace {

using namespace accessibility_test;
using testing_support::control;
using testing_support::logLine;
using testing_support::sampleFields;
using testing_support::ScriptedPlatform;
using testing_support::TempDir;
using trailscan::report::ReportView;
using trailscan::search::SearchWindow;

class SearchWindowAccessTest : public testing::Test {
  protected:
    void SetUp() override { window = std::make_unique<SearchWindow>(scripted.platform); }

    QPushButton* fieldButton(int index) const {
        return control<QPushButton>(window.get(), "Command1", index);
    }

    ScriptedPlatform scripted;
    std::unique_ptr<SearchWindow> window;
    TempDir dir;
};

TEST_F(SearchWindowAccessTest, EveryControlIsNamedForAScreenReaderWithItsRole) {
    window->show();
    expectAccessibleControls(
        window.get(),
        {
            {"Label1", QAccessible::StaticText, "Log kind: Hello"},
            {"Label2", QAccessible::StaticText, "File name:"},
            {"Text1", QAccessible::EditableText, "File name"},
            {"Label4", QAccessible::StaticText, "Last modified:"},
            {"Text2", QAccessible::EditableText, "Last modified"},
            {"Label3", QAccessible::StaticText, "Log date"},
            {"Label5", QAccessible::StaticText, "User Name:"},
            {"Text4", QAccessible::EditableText, "Search text"},
            {"Command3", QAccessible::PushButton, "Go !"},
            {"Command2", QAccessible::PushButton, "Open a log file ..."},
            {"Command1(0)", QAccessible::PushButton, "User Name"},
            {"Command1(1)", QAccessible::PushButton, "Record No."},
            {"Command1(2)", QAccessible::PushButton, "Site"},
            {"Command1(3)", QAccessible::PushButton, "Date"},
            {"Command1(4)", QAccessible::PushButton, "Time"},
            {"Command1(5)", QAccessible::PushButton, "I P"},
            {"Command1(6)", QAccessible::PushButton, "All Fields"},
            {"Text3", QAccessible::EditableText, "Report"},
            {"Label6", QAccessible::StaticText, "These results are sorted by records !"},
            {"Label7", QAccessible::StaticText, "Number of records:"},
            {"Text5", QAccessible::EditableText, "Number of records"},
        });
}

TEST_F(SearchWindowAccessTest, PanelTextsReachTheScreenReaderAfterAnOpen) {
    const auto log = dir.write("X3010214.log", logLine(sampleFields(1)) + logLine(sampleFields(2)));
    scripted.chooser.answer(QString::fromStdString(log.string()));
    activate(window.get(), control<QPushButton>(window.get(), "Command2"));
    pressSpace(control<QPushButton>(window.get(), "Command2"));
    ASSERT_TRUE(window->isFileOpen());

    // What the panel shows is what a screen reader reads as the value or the name.
    auto value = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Value);
    };
    auto name = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    EXPECT_EQ(value(control<QLineEdit>(window.get(), "Text1")), "X3010214.log");
    EXPECT_EQ(value(control<QLineEdit>(window.get(), "Text5")), "3");
    EXPECT_FALSE(value(control<QLineEdit>(window.get(), "Text2")).isEmpty());
    EXPECT_FALSE(value(control<ReportView>(window.get(), "Text3")).isEmpty());
    EXPECT_EQ(value(control<ReportView>(window.get(), "Text3")),
              control<ReportView>(window.get(), "Text3")->text());
    // The two panel labels say what they are and what they show.
    EXPECT_EQ(control<QLabel>(window.get(), "Label1")->text(), "Email");
    EXPECT_EQ(name(control<QLabel>(window.get(), "Label1")), "Log kind: Email");
    EXPECT_EQ(control<QLabel>(window.get(), "Label3")->text(), "2001/02/14");
    EXPECT_EQ(name(control<QLabel>(window.get(), "Label3")), "Log date: 2001/02/14");
}

TEST_F(SearchWindowAccessTest, TabWalksTheDesignedOrderAndEveryStopWorksFromTheKeyboard) {
    activate(window.get(), control<QLineEdit>(window.get(), "Text4"));
    ASSERT_EQ(QApplication::focusWidget(), control<QLineEdit>(window.get(), "Text4"));

    // Search box, "Go !", "Open ...", the field buttons top to bottom, the report box; the
    // panel boxes and the line total are skipped.
    const std::vector<QWidget*> expected = {
        control<QLineEdit>(window.get(), "Text4"),
        control<QPushButton>(window.get(), "Command3"),
        control<QPushButton>(window.get(), "Command2"),
        fieldButton(0),
        fieldButton(3),
        fieldButton(4),
        fieldButton(2),
        fieldButton(1),
        fieldButton(5),
        fieldButton(6),
        control<ReportView>(window.get(), "Text3"),
    };
    const std::vector<QWidget*> reached = tabWalk(40);
    EXPECT_EQ(objectNames(reached), objectNames(expected));
    EXPECT_EQ(QApplication::focusWidget(), control<QLineEdit>(window.get(), "Text4"))
        << "Tab comes round again";

    // The search box takes typing.
    QTest::keyClicks(control<QLineEdit>(window.get(), "Text4"), "alice");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text4")->text(), "alice");

    // "Go !" with Space before any file and with nothing to search: the reminder.
    control<QLineEdit>(window.get(), "Text4")->clear();
    pressSpace(control<QPushButton>(window.get(), "Command3"));
    EXPECT_TRUE(control<ReportView>(window.get(), "Text3")
                    ->text()
                    .contains("Please select a LOG file at first!"));

    // "Open ..." with Space runs the open flow.
    const auto log = dir.write("X5010214.log", logLine(sampleFields(1)) + logLine(sampleFields(2)));
    scripted.chooser.answer(QString::fromStdString(log.string()));
    control<QPushButton>(window.get(), "Command2")->setFocus();
    pressSpace(control<QPushButton>(window.get(), "Command2"));
    EXPECT_TRUE(window->isFileOpen());
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "3");
    EXPECT_EQ(scripted.programEnd.count, 0);

    // Each field button chooses its field from the keyboard and hands the focus back.
    const char* labels[] = {"User Name:", "Rec No.:", "Site:", "Date:", "Time:", "IP:", "All Rec:"};
    for (int i = 0; i < 7; ++i) {
        fieldButton(i)->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), fieldButton(i));
        pressSpace(fieldButton(i));
        EXPECT_EQ(control<QLabel>(window.get(), "Label5")->text(), labels[i]) << i;
        EXPECT_EQ(QApplication::focusWidget(), control<QLineEdit>(window.get(), "Text4")) << i;
    }

    // With a field chosen, Enter in the search box runs "Go !".
    control<QLineEdit>(window.get(), "Text4")->clear();
    QTest::keyClicks(control<QLineEdit>(window.get(), "Text4"),
                     QString::fromStdString(sampleFields(2)[1]));
    QTest::keyClick(control<QLineEdit>(window.get(), "Text4"), Qt::Key_Return);
    EXPECT_TRUE(control<ReportView>(window.get(), "Text3")
                    ->text()
                    .contains(QString::fromStdString(sampleFields(2)[1])));

    // The report box: select all and copy from the keyboard.
    control<ReportView>(window.get(), "Text3")->setFocus();
    QTest::keyClick(control<ReportView>(window.get(), "Text3"), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(control<ReportView>(window.get(), "Text3"), Qt::Key_C, Qt::ControlModifier);
    EXPECT_FALSE(control<ReportView>(window.get(), "Text3")->text().isEmpty());
    EXPECT_EQ(QApplication::clipboard()->text(),
              control<ReportView>(window.get(), "Text3")->text());
}

}  // namespace
