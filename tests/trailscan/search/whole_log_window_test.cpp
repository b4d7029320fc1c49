#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <memory>

#include "tests/support/controls.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_files.h"
#include "trailscan/app/search_command.h"
#include "trailscan/report/report_view.h"
#include "trailscan/search/search_window.h"

namespace {

using testing_support::control;
using testing_support::logLine;
using testing_support::sampleFields;
using testing_support::ScriptedPlatform;
using testing_support::TempDir;
using trailscan::report::ReportView;
using trailscan::search::SearchWindow;

// 6000 records; only record 5500 holds the user "zed.far", the site "far.example/only", the
// date "9/9/09" and the time "23:59:59".
std::vector<std::string> farRecord() {
    auto fields = sampleFields(5500);
    fields[1] = "zed.far";
    fields[5] = "9/9/09";
    fields[6] = "23:59:59";
    fields[7] = "far.example/only";
    return fields;
}

std::string farLog() {
    std::string log;
    for (int n = 0; n < 6000; ++n) log += logLine(n == 5500 ? farRecord() : sampleFields(n));
    return log;
}

std::string farEntry() {
    std::string entry = "5500- ";
    for (const auto& field : farRecord()) entry += field + " | ";
    return entry;
}

std::string farRecordReport() {
    std::string report = "5500= \r\n\r\n";
    for (const auto& field : farRecord()) report += field + "\r\n";
    return report;
}

// The same searches the window runs, from a terminal: the report on standard output.
struct Terminal {
    int status = -1;
    std::string out;
    std::string err;
};

Terminal runCommand(const std::vector<std::string>& words) {
    std::vector<std::u16string> typed;
    for (const auto& word : words) typed.emplace_back(word.begin(), word.end());
    std::string error;
    const auto command = trailscan::app::parseSearchCommand(words, typed, error);
    Terminal terminal;
    if (!command || !error.empty()) {
        terminal.status = trailscan::app::kExitTrouble;
        terminal.err = error;
        return terminal;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), &std::fclose);
    terminal.status = trailscan::app::runSearchCommand(*command, out.get(), err.get(), false);
    for (auto [file, text] : {std::pair{out.get(), &terminal.out}, {err.get(), &terminal.err}}) {
        std::rewind(file);
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text->append(buffer, got);
    }
    return terminal;
}

TEST(WholeLogFromATerminal, FindsARecordPastTheTableWithEachSearch) {
    TempDir dir;
    const std::string file = dir.write("X3010214.log", farLog()).string();
    const struct {
        const char* field;
        const char* text;
        std::string report;
    } cases[] = {{"user", "zed.f", "far.example/only\r\n"},
                 {"site", "far.ex", "far.example/only\r\n"},
                 {"date", "9/9/", "far.example/only\r\n"},
                 {"time", "23:59", "far.example/only\r\n"},
                 {"all", "zed.far", farEntry()},
                 {"record", "5500", farRecordReport()},
                 {"record", "6000", "6000= \r\n\r\nThe log has 6,000 records.\r\n"}};
    for (const auto& c : cases) {
        const Terminal found = runCommand({"--search", c.field, c.text, file});
        EXPECT_EQ(found.out, c.report) << c.field;
        EXPECT_EQ(found.status, std::string(c.text) == "6000" ? 1 : 0) << c.field;
        // The table's 5001 records do not reach it.
        const Terminal table = runCommand({"--search", c.field, c.text, file, "--table"});
        EXPECT_EQ(table.status, 1) << c.field;
    }
    EXPECT_EQ(runCommand({"--search", "ip", "192.168.1.7", file, "--table"}).status, 0);
    EXPECT_EQ(runCommand({"--search", "site", "no such site", file}).status, 1);
    const Terminal missing = runCommand({"--search", "site", "x", dir.path().string() + "/none"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err,
              "trailscan: " + dir.path().string() + "/none: The file does not exist.\n");
    EXPECT_EQ(runCommand({"--search", "name", "x", file}).status, 2);
    EXPECT_EQ(runCommand({"--search", "site", file}).status, 2);
}

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
    ASSERT_EQ(go->actions().size(), 1);
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

}  // namespace
