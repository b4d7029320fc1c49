#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>

#include "tests/support/controls.h"
#include "tests/support/far_log.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_files.h"
#include "trailscan/report/report_view.h"
#include "trailscan/search/search_window.h"

namespace {

using testing_support::control;
using testing_support::farEntry;
using testing_support::farLog;
using testing_support::farRecord;
using testing_support::farRecordReport;
using testing_support::ScriptedPlatform;
using testing_support::TempDir;
using trailscan::report::ReportView;
using trailscan::search::SearchWindow;

class WholeLogWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<SearchWindow>(scripted.platform);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
    }
    QString report() const { return control<ReportView>(window.get(), "Text3")->text(); }
    QLineEdit* searchBox() const { return control<QLineEdit>(window.get(), "Text4"); }
    void search(int button, const QString& text, Qt::Key key = Qt::Key_Return,
                Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        QTest::mouseClick(control<QPushButton>(window.get(), "Command1", button), Qt::LeftButton);
        searchBox()->setText(text);
        QTest::keyClick(searchBox(), key, modifiers);
    }

    ScriptedPlatform scripted;
    std::unique_ptr<SearchWindow> window;
    TempDir dir;
};

// Ctrl+Enter (either Enter key) and the context menus search the whole log and find record
// 5500 by every kind of search, where Enter and "Go !" search the table as before.
TEST_F(WholeLogWindowTest, FindsARecordPastTheTableWithEachSearch) {
    scripted.chooser.answer(QString::fromStdString(dir.write("X3010214.log", farLog()).string()));
    QTest::mouseClick(control<QPushButton>(window.get(), "Command2"), Qt::LeftButton);
    ASSERT_TRUE(window->isFileOpen());

    search(0, "zed.f", Qt::Key_Return, Qt::NoModifier);
    EXPECT_TRUE(report().isEmpty());  // Enter: the table's 5001 records only
    search(0, "zed.f");
    EXPECT_EQ(report(), "far.example/only\r\n");
    search(2, "far.ex", Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(report(), "far.example/only\r\n");
    search(3, "9/9/");
    EXPECT_EQ(report(), "far.example/only\r\n");
    search(4, "23:59");
    EXPECT_EQ(report(), "far.example/only\r\n");
    search(6, "zed.far");
    EXPECT_EQ(report(), QString::fromStdString(farEntry()));
    search(1, "5500");
    EXPECT_EQ(report(), QString::fromStdString(farRecordReport()));
    search(1, "70000");
    EXPECT_EQ(report(), "70000= \r\n\r\nThe log has 6,000 records.\r\n");

    // The same command in the context menus of "Go !" and of the report box.
    auto* go = control<QPushButton>(window.get(), "Command3");
    ASSERT_EQ(go->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(go->actions().size(), 3);  // the whole log, its folder, regular expressions
    QAction* whole = go->actions().front();
    EXPECT_EQ(whole->text(), "Search the whole log");
    EXPECT_TRUE(go->toolTip().contains("Ctrl+Enter"));
    std::unique_ptr<QMenu> menu(control<ReportView>(window.get(), "Text3")->createContextMenu());
    EXPECT_TRUE(menu->actions().contains(whole));
    QTest::mouseClick(control<QPushButton>(window.get(), "Command1", 2), Qt::LeftButton);
    searchBox()->setText("far.ex");
    whole->trigger();
    EXPECT_EQ(report(), "far.example/only\r\n");

    // Cancel keeps what was found (nothing yet here) and says where the search stopped.
    scripted.progress.cancelNext = true;
    whole->trigger();
    EXPECT_TRUE(report().startsWith("Stopped at 0 bytes of ")) << report().toStdString();
    EXPECT_TRUE(report().endsWith(", record 0.\r\n"));
}

// A site of 100,000 bytes, longer than the table keeps of a field, is reported whole by each
// kind of whole-log search, and a text in its last bytes finds it.
TEST_F(WholeLogWindowTest, ReportsAFieldLongerThanTheTableKeepsWhole) {
    const std::size_t siteBytes = 100'000;
    scripted.chooser.answer(
        QString::fromStdString(dir.write("X3010214.log", farLog(siteBytes)).string()));
    QTest::mouseClick(control<QPushButton>(window.get(), "Command2"), Qt::LeftButton);
    ASSERT_TRUE(window->isFileOpen());
    const QString site = QString::fromStdString(farRecord(siteBytes)[7] + "\r\n");
    search(0, "zed.f");
    EXPECT_EQ(report(), site);
    search(2, "y/end");
    EXPECT_EQ(report(), site);
    search(6, "zed.far");
    EXPECT_EQ(report(), QString::fromStdString(farEntry(siteBytes)));
    search(1, "5500");
    EXPECT_EQ(report(), QString::fromStdString(farRecordReport(siteBytes)));
}

// A search as the window runs it when the text is a regular expression and over every log of
// the open log's folder: Ctrl+R shows the choice in the title and the search box's tooltip and
// holds for Ctrl+Enter and Ctrl+Shift+Enter only; the folder's report is each log's under its
// heading, in path order; a bad pattern is one line; Cancel says where it stopped.
TEST_F(WholeLogWindowTest, SearchesByPatternAndEveryLogOfTheFolder) {
    std::filesystem::create_directories(dir.path() / "logs" / "older");
    const QString folder = QString::fromStdString((dir.path() / "logs").string());
    const auto put = [&](const std::string& name, const std::string& bytes) {
        return QString::fromStdString(dir.write("logs/" + name, bytes).string());
    };
    const QString open = put("X3010214.log", farLog());
    put("older/X3010101.LOG", farLog());
    put("a.log", testing_support::logLine(testing_support::sampleFields(3)));
    put("notes.txt", farLog());
    scripted.chooser.answer(open);
    QTest::mouseClick(control<QPushButton>(window.get(), "Command2"), Qt::LeftButton);
    ASSERT_TRUE(window->isFileOpen());

    QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(window->isRegularExpression());
    EXPECT_EQ(window->windowTitle(), "Proxy Kestrand (regular expression)");
    EXPECT_TRUE(searchBox()->toolTip().contains("regular expression"));
    search(0, "^zed\\.f[a-z]+$", Qt::Key_Return, Qt::NoModifier);
    EXPECT_TRUE(report().isEmpty());  // Enter: the table, and the text as it stands
    search(0, "^zed\\.f[a-z]+$");
    EXPECT_EQ(report(), "far.example/only\r\n");
    search(0, "(?i)^ZED\\.");
    EXPECT_EQ(report(), "far.example/only\r\n");
    search(0, "zed(");
    EXPECT_EQ(
        report(),
        "The regular expression is not valid: missing closing parenthesis at position 4.\r\n");

    search(6, "zed\\.fa", Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
    const QString entry = QString::fromStdString(farEntry());
    EXPECT_EQ(report(), "==> " + folder + "/X3010214.log <==\r\n" + entry + "\r\n" + "==> " +
                            folder + "/a.log <==\r\n\r\n" + "==> " + folder +
                            "/older/X3010101.LOG <==\r\n" + entry + "\r\n");
    scripted.progress.cancelNext = true;
    window->searchFolder();
    EXPECT_EQ(report(), "Stopped in log 1 of 3.\r\n");

    auto* go = control<QPushButton>(window.get(), "Command3");
    QAction* regex = go->actions().back();
    EXPECT_TRUE(regex->isChecked());
    std::unique_ptr<QMenu> menu(control<ReportView>(window.get(), "Text3")->createContextMenu());
    EXPECT_TRUE(menu->actions().contains(regex));
    regex->trigger();
    EXPECT_FALSE(window->isRegularExpression());
    EXPECT_EQ(window->windowTitle(), "Proxy Kestrand");
    search(6, "zed\\.fa");  // a literal again: the backslash is in no field
    EXPECT_TRUE(report().isEmpty());
}

// A compressed log opens as the log it holds: the panel reads the name without ".gz", the count
// and every whole-log search are the plain log's, and the progress counts the file's own bytes.
// One cut short keeps its lines before the cut and says where it ended, in the panel's tooltip
// and at the end of a report.
TEST_F(WholeLogWindowTest, ACompressedLogIsSearchedAsTheLogItHolds) {
    const std::string gz = testing_support::gzipped(farLog(), 6, 50'000);
    const auto packed = dir.write("X3010214.log.gz", gz);
    scripted.chooser.answer(QString::fromStdString(packed.string()));
    QTest::mouseClick(control<QPushButton>(window.get(), "Command2"), Qt::LeftButton);
    ASSERT_TRUE(window->isFileOpen());
    EXPECT_EQ(control<QLabel>(window.get(), "Label3")->text(), "2001/02/14");
    EXPECT_EQ(control<QLabel>(window.get(), "Label1")->text(), "Email");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "X3010214.log");
    EXPECT_EQ(scripted.progress.lastTotal, static_cast<std::int64_t>(gz.size()));
    EXPECT_EQ(scripted.progress.lastDone, static_cast<std::int64_t>(gz.size()));
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "6001");
    search(6, "zed.far");
    EXPECT_EQ(report(), QString::fromStdString(farEntry()));
    EXPECT_EQ(scripted.progress.lastDone, static_cast<std::int64_t>(gz.size()));
    search(1, "5500");
    EXPECT_EQ(report(), QString::fromStdString(farRecordReport()));
    search(0, "zed.f", Qt::Key_Return, Qt::NoModifier);
    EXPECT_TRUE(report().isEmpty());  // Enter: the table's 5001 records, as for a plain log

    const auto cut = dir.write("X3010215.log.gz", gz.substr(0, gz.size() * 3 / 4));
    window->openGiven(QString::fromStdString(cut.string()));
    ASSERT_TRUE(window->isFileOpen());
    const QString tip = control<QLineEdit>(window.get(), "Text1")->toolTip();
    EXPECT_TRUE(tip.contains("The compressed data ends early, at byte ")) << tip.toStdString();
    search(6, "zed.far");
    EXPECT_TRUE(report().startsWith("The compressed data ends early, at byte "))
        << report().toStdString();
    EXPECT_TRUE(report().endsWith(" of the file: the log ends there.\r\n"));
}

}  // namespace
