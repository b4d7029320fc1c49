#include "trailscan/search/search_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <fstream>

#include "forms/twips.h"
#include "tests/support/controls.h"
#include "tests/support/drops.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_files.h"
#include "trailscan/report/report_view.h"

namespace {

using testing_support::control;
using testing_support::logLine;
using testing_support::sampleFields;
using testing_support::ScriptedPlatform;
using testing_support::TempDir;
using trailscan::report::ReportView;
using trailscan::search::SearchWindow;

QString samplePath(const char* name) {
    return QDir(QStringLiteral(TS_SOURCE_DIR "/samples"))
        .absoluteFilePath(QString::fromLatin1(name));
}

QString native(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SearchWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<SearchWindow>(scripted.platform);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void openWith(const QString& path) {
        scripted.chooser.answer(path);
        QTest::mouseClick(control<QPushButton>(window.get(), "Command2"), Qt::LeftButton);
    }
    QString report() const { return control<ReportView>(window.get(), "Text3")->text(); }

    ScriptedPlatform scripted;
    std::unique_ptr<SearchWindow> window;
    TempDir dir;
};

TEST_F(SearchWindowTest, StartsAsDesigned) {
    EXPECT_EQ(window->objectName(), "Form2");
    EXPECT_EQ(window->windowTitle(), "Proxy Kestrand");
    EXPECT_EQ(window->size(), QSize(forms::twips(6795), forms::twips(5010)));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window->windowIcon().isNull());

    EXPECT_EQ(control<QLabel>(window.get(), "Label1")->text(), "Hello");
    EXPECT_EQ(control<QLabel>(window.get(), "Label2")->text(), "File name:");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "No file selected");
    EXPECT_EQ(control<QLabel>(window.get(), "Label4")->text(), "Last modified:");
    EXPECT_EQ(control<QLabel>(window.get(), "Label5")->text(), "User Name:");
    EXPECT_EQ(control<QPushButton>(window.get(), "Command3")->text(), "Go !");
    EXPECT_EQ(control<QPushButton>(window.get(), "Command2")->text(), "Open a log file ...");
    EXPECT_EQ(control<QLabel>(window.get(), "Label6")->text(),
              "These results are sorted by records !");
    EXPECT_EQ(control<QLabel>(window.get(), "Label7")->text(), "Nomber of records:");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "0000");
    EXPECT_TRUE(control<QLineEdit>(window.get(), "Text2")->text().isEmpty());
    EXPECT_TRUE(control<ReportView>(window.get(), "Text3")->text().isEmpty());
    EXPECT_TRUE(control<ReportView>(window.get(), "Text3")
                    ->verticalScrollBar()
                    ->isVisible());  // both bars, always
    EXPECT_TRUE(control<ReportView>(window.get(), "Text3")->horizontalScrollBar()->isVisible());
    const char* captions[] = {"User Name", "Record No.", "Site",      "Date",
                              "Time",      "I P",        "All Fields"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(control<QPushButton>(window.get(), "Command1", i)->text(), captions[i]);
        EXPECT_EQ(control<QPushButton>(window.get(), "Command1", i)->objectName(),
                  QStringLiteral("Command1(%1)").arg(i));
    }

    // Geometry in twips, through the named controls.
    EXPECT_EQ(control<QWidget>(window.get(), "Text3")->geometry(),
              forms::toPixels({105, 1440, 5175, 3240}));
    EXPECT_EQ(control<QPushButton>(window.get(), "Command1", 4)->geometry(),
              forms::toPixels({5385, 2400, 1335, 360}));
    EXPECT_EQ(control<QPushButton>(window.get(), "Command1", 0)->geometry(),
              forms::toPixels({5400, 1425, 1335, 360}));
    EXPECT_EQ(control<QLabel>(window.get(), "Label1")->geometry(),
              forms::toPixels({4215, 75, 2535, 420}));

    // Colours and fonts.
    EXPECT_EQ(control<QLabel>(window.get(), "Label1")->palette().color(QPalette::Window),
              QColor(128, 128, 255));
    EXPECT_EQ(control<QLabel>(window.get(), "Label1")->palette().color(QPalette::WindowText),
              QColor(255, 255, 255));
    EXPECT_EQ(control<QLabel>(window.get(), "Label6")->palette().color(QPalette::WindowText),
              QColor(255, 0, 0));
    EXPECT_EQ(control<QLabel>(window.get(), "Label2")->palette().color(QPalette::WindowText),
              QColor(0, 0, 255));
    EXPECT_EQ(control<QLabel>(window.get(), "Label1")->font().family(), "Goudy Stout");
    EXPECT_TRUE(control<QLabel>(window.get(), "Label1")->font().italic());
    EXPECT_EQ(control<QPushButton>(window.get(), "Command1", 0)->font().family(),
              "Times New Roman");
    EXPECT_DOUBLE_EQ(control<QPushButton>(window.get(), "Command3")->font().pointSizeF(), 8.25);

    // The open button is the default one, the search box has the focus, and Tab follows
    // the designed order while skipping the panel's boxes.
    EXPECT_TRUE(control<QPushButton>(window.get(), "Command2")->isDefault());
    EXPECT_FALSE(control<QPushButton>(window.get(), "Command3")->isDefault());
    EXPECT_EQ(QApplication::focusWidget(), control<QLineEdit>(window.get(), "Text4"));
    QStringList order;
    QWidget* w = control<QLineEdit>(window.get(), "Text4");
    for (int i = 0; i < 11; ++i) {
        order << w->objectName();
        w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus)) w = w->nextInFocusChain();
    }
    EXPECT_EQ(order.join(' '),
              "Text4 Command3 Command2 Command1(0) Command1(3) Command1(4) Command1(2) "
              "Command1(1) Command1(5) Command1(6) Text3");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text4")->accessibleName(), "Search text");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->accessibleName(), "File name");
}

TEST_F(SearchWindowTest, CancellingTheFirstDialogEndsTheProgram) {
    scripted.chooser.cancel();
    QTest::mouseClick(control<QPushButton>(window.get(), "Command2"), Qt::LeftButton);
    EXPECT_EQ(scripted.programEnd.count, 1);
    EXPECT_FALSE(window->isFileOpen());
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "No file selected");
    ASSERT_EQ(scripted.chooser.requests.size(), 1u);
    const auto& request = scripted.chooser.requests.front();
    EXPECT_EQ(request.title, "  Open trailscan file:");
    EXPECT_EQ(request.initialFolder, "c:\\winnt\\system32\\");
    EXPECT_EQ(request.filters, QStringList({"All Files (*.*)", "Proxy reports Files (*.log)",
                                            "Compressed proxy reports Files (*.log.gz)"}));
}

TEST_F(SearchWindowTest, OpenFlowFillsThePanelLoadsAndRunsTheDefaultQuery) {
    openWith(samplePath("X3010214.log"));
    EXPECT_EQ(scripted.programEnd.count, 0);
    EXPECT_TRUE(window->isFileOpen());
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "X3010214.log");
    EXPECT_EQ(control<QLabel>(window.get(), "Label3")->text(), "2001/02/14");
    EXPECT_EQ(control<QLabel>(window.get(), "Label1")->text(), "Email");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "41");  // 40 lines
    EXPECT_FALSE(control<QLineEdit>(window.get(), "Text2")->text().isEmpty());
    // The default query: the first user name longer than five characters, searched in
    // the user-name column, its records' sites reported.
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text4")->text(), "ALIREZA");
    EXPECT_EQ(window->searchSelector(), 1);
    EXPECT_EQ(control<QLabel>(window.get(), "Label5")->text(), "User Name:");
    const QStringList lines = report().split("\r\n");
    EXPECT_GT(lines.size(), 2);
    EXPECT_TRUE(lines.last().isEmpty());  // every line ends with CR LF
    EXPECT_EQ(lines.first(), "news.example.net");

    // A second open replaces the panel and the line total.
    openWith(samplePath("X5010214.log"));
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "X5010214.log");
    EXPECT_EQ(control<QLabel>(window.get(), "Label1")->text(), "Sites");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "61");

    // Cancel in a later dialog opens the same file again.
    scripted.chooser.cancel();
    QTest::mouseClick(control<QPushButton>(window.get(), "Command2"), Qt::LeftButton);
    EXPECT_EQ(scripted.programEnd.count, 0);
    EXPECT_TRUE(window->isFileOpen());
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "X5010214.log");
    EXPECT_EQ(scripted.chooser.unexpected, 0);
}

TEST_F(SearchWindowTest, NamesOfFiveCharactersOpenAndOfFourEndTheProgram) {
    const QString previous = QDir::currentPath();
    QDir::setCurrent(native(dir.path()));
    dir.write("x.log", logLine(sampleFields(0)) + logLine(sampleFields(1)));
    openWith(QStringLiteral("x.log"));
    EXPECT_EQ(scripted.programEnd.count, 0);
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "x.log");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "3");
    openWith(QStringLiteral("x.lo"));
    EXPECT_EQ(scripted.programEnd.count, 1);
    QDir::setCurrent(previous);
}

TEST_F(SearchWindowTest, AFileThatCannotBeOpenedGivesAMessageAndLeavesTheWindowUsable) {
    openWith(native(dir.path() / "missing-X3010214.log"));
    EXPECT_EQ(scripted.programEnd.count, 0);
    ASSERT_EQ(scripted.messenger.messages.size(), 1u);
    EXPECT_TRUE(scripted.messenger.messages[0].warning);
    EXPECT_TRUE(scripted.messenger.messages[0].text.contains("missing-X3010214.log"));
    EXPECT_TRUE(scripted.messenger.messages[0].text.contains("does not exist"));
    EXPECT_FALSE(window->isFileOpen());
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "No file selected");

    openWith(native(dir.path()));  // a folder
    EXPECT_EQ(scripted.messenger.messages.size(), 2u);
    EXPECT_FALSE(window->isFileOpen());

    // An empty file has no line: total 1, an empty report.
    openWith(native(dir.write("empty-X5010214.log", "")));
    EXPECT_TRUE(window->isFileOpen());
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "1");
    EXPECT_TRUE(report().isEmpty());

    openWith(samplePath("X5010214.log"));
    EXPECT_TRUE(window->isFileOpen());
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "61");
    EXPECT_EQ(scripted.messenger.messages.size(), 2u);
}

TEST_F(SearchWindowTest, GoWithoutAFileAppendsTheMessageEachTime) {
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(control<QPushButton>(window.get(), "Command3"), Qt::LeftButton);
    EXPECT_EQ(report(), QString("Please select a LOG file at first!\r\n").repeated(3));
    // With a search text the search runs over the empty table and replaces the report.
    QTest::keyClicks(control<QLineEdit>(window.get(), "Text4"), "abc");
    QTest::mouseClick(control<QPushButton>(window.get(), "Command3"), Qt::LeftButton);
    EXPECT_TRUE(report().isEmpty());
}

TEST_F(SearchWindowTest, FieldButtonsChooseTheSearchAndMakeGoTheDefault) {
    openWith(samplePath("X3010214.log"));
    struct Row {
        int index;
        const char* label;
        int selector;
    };
    const Row rows[] = {{0, "User Name:", 1}, {1, "Rec No.:", 11}, {2, "Site:", 7},
                        {3, "Date:", 5},      {4, "Time:", 6},     {5, "IP:", 0},
                        {6, "All Rec:", 10}};
    for (const auto& row : rows) {
        QTest::mouseClick(control<QPushButton>(window.get(), "Command1", row.index),
                          Qt::LeftButton);
        EXPECT_EQ(control<QLabel>(window.get(), "Label5")->text(), row.label);
        EXPECT_EQ(window->searchSelector(), row.selector);
        EXPECT_EQ(QApplication::focusWidget(), control<QLineEdit>(window.get(), "Text4"))
            << row.label;
        EXPECT_TRUE(control<QPushButton>(window.get(), "Command3")->isDefault());
        EXPECT_FALSE(control<QPushButton>(window.get(), "Command2")->isDefault());
    }

    // Enter in the search box now presses "Go !": an all-fields search.
    control<QLineEdit>(window.get(), "Text4")->clear();
    QTest::keyClicks(control<QLineEdit>(window.get(), "Text4"), "MARYAM");
    QTest::keyClick(control<QLineEdit>(window.get(), "Text4"), Qt::Key_Return);
    EXPECT_TRUE(report().contains(QRegularExpression("^\\d+- ")));
    EXPECT_FALSE(report().contains("\r\n"));
    EXPECT_TRUE(report().contains("MARYAM | "));

    // Record number 0: heading, then the 23 fields of the first line one per line.
    QTest::mouseClick(control<QPushButton>(window.get(), "Command1", 1), Qt::LeftButton);
    control<QLineEdit>(window.get(), "Text4")->setText("0");
    QTest::mouseClick(control<QPushButton>(window.get(), "Command3"), Qt::LeftButton);
    const QStringList lines = report().split("\r\n");
    ASSERT_EQ(lines.size(), 2 + 23 + 1);
    EXPECT_EQ(lines[0], "0= ");
    const std::string_view first = window->recordTable().field(0, 0);
    EXPECT_EQ(lines[2], QString::fromLatin1(first.data(), static_cast<qsizetype>(first.size())));
    EXPECT_EQ(lines[2 + 7], "news.example.net");

    control<QLineEdit>(window.get(), "Text4")->setText("abc");
    QTest::mouseClick(control<QPushButton>(window.get(), "Command3"), Qt::LeftButton);
    EXPECT_EQ(report(), "abc= \r\n\r\nA record number is a whole number from 0 to 5000.\r\n");
    control<QLineEdit>(window.get(), "Text4")->setText(QString::fromUtf16(u"\u06A9"));
    QTest::mouseClick(control<QPushButton>(window.get(), "Command3"), Qt::LeftButton);
    EXPECT_EQ(report(), QString::fromUtf16(u"\u06A9= \r\n\r\n") +
                            "A record number is a whole number from 0 to 5000.\r\n");

    // Site column: the matching sites themselves.
    QTest::mouseClick(control<QPushButton>(window.get(), "Command1", 2), Qt::LeftButton);
    control<QLineEdit>(window.get(), "Text4")->setText("mail.");
    QTest::mouseClick(control<QPushButton>(window.get(), "Command3"), Qt::LeftButton);
    for (const QString& line : report().split("\r\n", Qt::SkipEmptyParts)) {
        EXPECT_EQ(line, "mail.example.org");
    }
    // Text the log's code page cannot hold matches nothing.
    control<QLineEdit>(window.get(), "Text4")->setText(QString::fromUtf16(u"\u06A9"));
    QTest::mouseClick(control<QPushButton>(window.get(), "Command3"), Qt::LeftButton);
    EXPECT_TRUE(report().isEmpty());
}

TEST_F(SearchWindowTest, CtrlBAsksForTheRecordBrowser) {
    int asked = 0;
    window->setBrowserOpener([&] { ++asked; });
    window->activateWindow();
    QTest::keyClick(control<QLineEdit>(window.get(), "Text4"), Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(control<QLineEdit>(window.get(), "Text4")->text().isEmpty());
}

TEST_F(SearchWindowTest, ClosingTheWindowClosesTheFileAndEndsTheProgram) {
    openWith(samplePath("X3010214.log"));
    ASSERT_TRUE(window->isFileOpen());
    window->close();
    EXPECT_FALSE(window->isFileOpen());
    EXPECT_EQ(scripted.programEnd.count, 1);
}

TEST_F(SearchWindowTest, SaveWritesTheReportAsHeldAndAFailureLeavesNoFile) {
    // Nothing to save before a report exists.
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(scripted.chooser.saveRequests.empty());

    const auto logPath = dir.write("X3010214.log", [] {
        std::string text;
        for (int i = 0; i < 3; ++i) {
            auto fields = sampleFields(i);
            fields[1] = "ALIREZA";
            fields[7] = "www.caf\xe9" + std::to_string(i) + ".com";  // a Windows-1252 byte
            text += logLine(fields);
        }
        return text;
    }());
    openWith(native(logPath));
    ASSERT_EQ(report(), QString::fromUtf8(
                            "www.caf\u00e90.com\r\nwww.caf\u00e91.com\r\nwww.caf\u00e92.com\r\n"));

    const auto saved = dir.path() / "saved.txt";
    scripted.chooser.answerSave(native(saved));
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(scripted.chooser.saveRequests.size(), 1u);
    EXPECT_EQ(scripted.chooser.saveRequests[0].suggestedName, "X3010214-report.txt");
    EXPECT_EQ(QDir(scripted.chooser.saveRequests[0].initialFolder), QDir(native(dir.path())));
    EXPECT_EQ(readAll(saved),
              "www.caf\xe9"
              "0.com\r\nwww.caf\xe9"
              "1.com\r\nwww.caf\xe9"
              "2.com\r\n");
    EXPECT_TRUE(scripted.messenger.messages.empty());

    // A folder, or a name in a missing folder: a message, and nothing written under the name.
    const auto missing = dir.path() / "no-such-folder" / "r.txt";
    for (const auto& target : {dir.path(), missing}) {
        scripted.chooser.answerSave(native(target));
        QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
        ASSERT_FALSE(scripted.messenger.messages.empty());
        EXPECT_TRUE(scripted.messenger.messages.back().warning);
        EXPECT_TRUE(scripted.messenger.messages.back().text.startsWith(
            "The report cannot be saved:\n" + native(target) + "\n\n"));
    }
    EXPECT_EQ(scripted.messenger.messages.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path()));
}

TEST_F(SearchWindowTest, FindSelectsOccurrencesBothWaysWrapsAndSaysWhenThereIsNone) {
    using Span = std::pair<qsizetype, qsizetype>;
    control<ReportView>(window.get(), "Text3")->setText("abc\r\nxx abc\r\nABC abc");
    control<ReportView>(window.get(), "Text3")->setFocus();
    const auto selected = [this] {
        return std::pair(control<ReportView>(window.get(), "Text3")->selectionStart(),
                         control<ReportView>(window.get(), "Text3")->selectionEnd());
    };
    scripted.messenger.answerText("abc");
    QTest::keyClick(control<ReportView>(window.get(), "Text3"), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(scripted.messenger.asked, 1);
    EXPECT_EQ(selected(), Span(0, 3));
    QTest::keyClick(control<ReportView>(window.get(), "Text3"), Qt::Key_F3);
    EXPECT_EQ(selected(), Span(8, 11));
    QTest::keyClick(control<ReportView>(window.get(), "Text3"),
                    Qt::Key_F3);  // case matters: "ABC" is passed over
    EXPECT_EQ(selected(), Span(17, 20));
    QTest::keyClick(control<ReportView>(window.get(), "Text3"), Qt::Key_F3);  // wraps to the start
    EXPECT_EQ(selected(), Span(0, 3));
    QTest::keyClick(control<ReportView>(window.get(), "Text3"), Qt::Key_F3,
                    Qt::ShiftModifier);  // and back over the start
    EXPECT_EQ(selected(), Span(17, 20));
    QTest::keyClick(control<ReportView>(window.get(), "Text3"), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(selected(), Span(8, 11));
    EXPECT_EQ(scripted.messenger.asked, 1);  // F3 asks only once

    // Not there: the selection stays, the tool tip says so, and no message box is shown.
    scripted.messenger.answerText("abcd");
    QTest::keyClick(control<ReportView>(window.get(), "Text3"), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(selected(), Span(8, 11));
    EXPECT_EQ(QToolTip::text(), QString::fromUtf8("\u201Cabcd\u201D is not in the report."));
    EXPECT_TRUE(scripted.messenger.messages.empty());
}

TEST_F(SearchWindowTest, EveryOpenRouteRunsTheFlowAndAFailedOneLeavesTheWindowAsItWas) {
    std::string text;
    for (int i = 0; i < 3; ++i) text += logLine(sampleFields(i));
    const auto first = dir.write("X3010214.log", text);

    // The command line: a good path opens as the first dialog would; no dialog is shown.
    window->openGiven(native(first));
    EXPECT_TRUE(window->isFileOpen());
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "X3010214.log");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "4");
    EXPECT_TRUE(scripted.chooser.requests.empty());
    const QString report = control<ReportView>(window.get(), "Text3")->text();
    const QString query = control<QLineEdit>(window.get(), "Text4")->text();

    const auto unchanged = [&](const char* step) {
        EXPECT_FALSE(window->isFileOpen()) << step;
        EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "X3010214.log") << step;
        EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "4") << step;
        EXPECT_EQ(control<QLineEdit>(window.get(), "Text4")->text(), query) << step;
        EXPECT_EQ(control<ReportView>(window.get(), "Text3")->text(), report) << step;
        EXPECT_EQ(window->recordTable().endOfData(), 3) << step;
    };
    // A bad path, a folder and a short name: a message each, and the window as it was.
    for (const QString& bad :
         {native(dir.path() / "missing.log"), native(dir.path()), QString("a.l")}) {
        const auto before = scripted.messenger.messages.size();
        window->openGiven(bad);
        ASSERT_EQ(scripted.messenger.messages.size(), before + 1) << bad.toStdString();
        EXPECT_TRUE(
            scripted.messenger.messages.back().text.startsWith("The log file cannot be opened:\n"));
        unchanged("bad path");
    }
    EXPECT_EQ(scripted.programEnd.count, 0);

    // Cancel in the progress dialog: no message, and nothing of the new file shows.
    const auto other = dir.write("X5010215.log", text + text);
    scripted.progress.cancelNext = true;
    const auto messages = scripted.messenger.messages.size();
    openWith(native(other));
    EXPECT_EQ(scripted.messenger.messages.size(), messages);
    unchanged("cancel");

    // The file gone between the count and the reopen: its message, and the window as it was.
    const auto moved = std::filesystem::path(other.string() + ".moved");
    scripted.progress.afterNext = [&] { std::filesystem::rename(other, moved); };
    openWith(native(other));
    ASSERT_EQ(scripted.messenger.messages.size(), messages + 1);
    EXPECT_TRUE(
        scripted.messenger.messages.back().text.startsWith("The log file cannot be opened:\n"));
    unchanged("reopen");
    std::filesystem::rename(moved, other);

    // F5 after the log has grown opens the file shown again, with no dialog.
    window->openGiven(native(first));
    { std::ofstream(first, std::ios::app | std::ios::binary) << logLine(sampleFields(3)); }
    const auto dialogs = scripted.chooser.requests.size();
    QTest::keyClick(window.get(), Qt::Key_F5);
    EXPECT_EQ(scripted.chooser.requests.size(), dialogs);
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "5");
    EXPECT_EQ(window->recordTable().endOfData(), 4);

    // A dropped local file opens; anything else is refused at the drag.
    EXPECT_FALSE(testing_support::dropOn(window.get(), {QUrl("https://example.net/X3.log")}));
    EXPECT_TRUE(testing_support::dropOn(
        window.get(), {QUrl::fromLocalFile(native(other)), QUrl::fromLocalFile(native(first))}));
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "X5010215.log");
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text5")->text(), "7");
    EXPECT_TRUE(window->isFileOpen());

    // Ctrl+O presses the open button.
    scripted.chooser.answer(native(first));
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(control<QLineEdit>(window.get(), "Text1")->text(), "X3010214.log");
    EXPECT_EQ(scripted.chooser.unexpected, 0);
}

}  // namespace
