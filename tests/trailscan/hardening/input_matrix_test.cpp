// Hostile and odd inputs given to both windows: each ends in a clear message or a
// correct result, never a crash or a hang.
#include <sys/stat.h>

#include <QTest>
#include <chrono>
#include <filesystem>

#include "tests/trailscan/hardening/both_windows.h"

namespace hardening {
namespace {

using namespace std::chrono_literals;
using testing_support::logLine;
using testing_support::sampleFields;

std::string sampleLog(int lines) {
    std::string bytes;
    for (int n = 0; n < lines; ++n) {
        bytes += logLine(sampleFields(n));
    }
    return bytes;
}

class InputMatrixTest : public BothWindowsTest {};

TEST_F(InputMatrixTest, NamesThatAreNotRegularFilesGiveAMessageAndNeverBlock) {
    const auto fifo = dir.path() / "pipe-X3010214.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // no writer: an open for reading would wait
    struct Row {
        QString path;
        const char* reason;
    };
    const Row rows[] = {
        {pathOf("missing-X3010214.log"), "does not exist"},
        {QString::fromStdString(dir.path().string()), "folder"},
        {QString::fromStdString(fifo.string()), "not a regular file"},
        {QStringLiteral("/dev/zero"), "not a regular file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        const std::size_t before = scripted.messenger.messages.size();
        {
            const Watchdog watchdog(20s, "opening " + row.path.toStdString());
            openInSearch(row.path);
            scripted.chooser.answer(row.path);
            click(forward());
        }
        ASSERT_EQ(scripted.messenger.messages.size(), before + 2);
        for (std::size_t i = before; i < before + 2; ++i) {
            EXPECT_TRUE(scripted.messenger.messages[i].warning);
            EXPECT_TRUE(scripted.messenger.messages[i].text.contains(row.path));
            EXPECT_TRUE(scripted.messenger.messages[i].text.contains(row.reason));
        }
        EXPECT_FALSE(search->isFileOpen());
        EXPECT_EQ(control<QLineEdit>(search.get(), "Text5")->text(), "0000");
        EXPECT_TRUE(position().isEmpty());
        EXPECT_EQ(colourOf(forward()), kOrange);
    }
    EXPECT_EQ(scripted.programEnd.count, 0);

    // Both windows stay usable: "Go !" asks for a file, and the next choice opens it.
    QTest::mouseClick(control<QPushButton>(search.get(), "Command3"), Qt::LeftButton);
    EXPECT_EQ(report(), "Please select a LOG file at first!\r\n");
    const QString good = write("good-X3010214.log", sampleLog(3));
    openInSearch(good);
    EXPECT_TRUE(search->isFileOpen());
    EXPECT_EQ(lineTotal(), "4");
    scripted.chooser.answer(good);
    click(back());
    EXPECT_EQ(position(), "1 OF 4");
    EXPECT_EQ(field(0), "192.168.1.1");
}

TEST_F(InputMatrixTest, AnEmptyFileAndAFileOfOnlyLineBreaksHoldNoRecord) {
    for (const auto& [name, bytes, total] :
         {std::tuple{"empty-X3010214.log", std::string(), "1"},
          std::tuple{"breaks-X3010214.log", std::string("\r\n\r\n\r\n"), "4"}}) {
        SCOPED_TRACE(name);
        const QString path = write(name, bytes);
        control<QLineEdit>(search.get(), "Text4")->setText("keep");
        openInSearch(path);
        EXPECT_TRUE(search->isFileOpen());
        EXPECT_EQ(lineTotal(), total);
        EXPECT_EQ(search->recordTable().endOfData(), 0);
        // No user name to put there.
        EXPECT_EQ(control<QLineEdit>(search.get(), "Text4")->text(), "keep");
        EXPECT_TRUE(report().isEmpty());

        chooseInBrowser(path);
        EXPECT_EQ(position(), QStringLiteral("1 OF %1").arg(total));
        for (int i = 0; i < 23; ++i) {
            EXPECT_TRUE(field(i).isEmpty()) << i;
        }
        EXPECT_EQ(colourOf(forward()), kRed);  // the end came at once
        EXPECT_EQ(colourOf(back()), kRed);
    }
    EXPECT_EQ(warnings(), 0);
}

TEST_F(InputMatrixTest, NulBytesAndBytesAbove127AreShownInTheLogsCodePage) {
    std::vector<std::string> fields = sampleFields(0);
    fields[1] = std::string("us\0\xE9r\x80", 6);
    fields[2] = std::string("caf\xE9", 4);
    fields[3] = "\x80";
    fields[7] = std::string("site\0\xFF", 6);
    const QString path = write("bytes-X3010214.log", logLine(fields) + sampleLog(2));
    const QString user = QString::fromUtf16(u"us\0\u00e9r\u20ac", 6);
    const QString site = QString::fromUtf16(u"site\0\u00ff", 6);

    // The default query finds the user name with its odd bytes and reports the site.
    openInSearch(path);
    EXPECT_EQ(control<QLineEdit>(search.get(), "Text4")->text(), user);
    EXPECT_EQ(report(), site + "\r\n");

    searchRecordNumber("0");
    const QStringList lines = report().split("\r\n");
    ASSERT_EQ(lines.size(), 26);
    EXPECT_EQ(lines[2 + 1], user);
    EXPECT_EQ(lines[2 + 2], QString::fromUtf16(u"caf\u00e9"));
    EXPECT_EQ(lines[2 + 3], QString::fromUtf16(u"\u20ac"));
    EXPECT_EQ(lines[2 + 7], site);

    chooseInBrowser(path);
    EXPECT_EQ(field(1), user);
    EXPECT_EQ(field(2), QString::fromUtf16(u"caf\u00e9"));
    EXPECT_EQ(field(3), QString::fromUtf16(u"\u20ac"));
    EXPECT_EQ(field(7), site);
    // Record lengths count bytes, so two steps on and two back land on record 1 again.
    click(forward());
    click(forward());
    EXPECT_EQ(position(), "3 OF 4");
    click(back());
    EXPECT_EQ(position(), "2 OF 4");
    EXPECT_EQ(field(0), "192.168.1.1");
    click(back());
    EXPECT_EQ(position(), "1 OF 4");
    EXPECT_EQ(field(2), QString::fromUtf16(u"caf\u00e9"));
}

TEST_F(InputMatrixTest, LinesOf22And24FieldsShiftTheLaterRecordsInBothWindows) {
    std::vector<std::string> short22(22);
    std::vector<std::string> long24(24);
    for (int i = 0; i < 24; ++i) {
        if (i < 22) short22[static_cast<std::size_t>(i)] = "s" + std::to_string(i);
        long24[static_cast<std::size_t>(i)] = "l" + std::to_string(i);
    }
    std::vector<std::string> plain(23);
    for (int i = 0; i < 23; ++i) plain[static_cast<std::size_t>(i)] = "p" + std::to_string(i);

    // 22 fields: the first field of the next line completes the record.
    const QString shortPath =
        write("short-X3010214.log", logLine(short22) + logLine(plain) + logLine(plain));
    openInSearch(shortPath);
    EXPECT_EQ(lineTotal(), "4");
    EXPECT_EQ(search->recordTable().field(0, 22), "p0");
    EXPECT_EQ(search->recordTable().field(1, 0), "p1");
    EXPECT_EQ(search->recordTable().field(2, 0), "p1");
    EXPECT_EQ(search->recordTable().field(2, 21), "p22");
    EXPECT_TRUE(search->recordTable().field(2, 22).empty());
    searchRecordNumber("1");
    EXPECT_TRUE(report().startsWith("1= \r\n\r\np1\r\np2\r\n"));
    EXPECT_TRUE(report().endsWith("p22\r\np0\r\n"));

    chooseInBrowser(shortPath);
    EXPECT_EQ(field(0), "s0");
    EXPECT_EQ(field(22), "p0");
    click(forward());
    EXPECT_EQ(field(0), "p1");
    EXPECT_EQ(field(22), "p0");
    click(forward());  // the last record is cut short by the end of the file
    EXPECT_EQ(field(0), "p1");
    EXPECT_EQ(field(21), "p22");
    EXPECT_EQ(field(22), "p0");  // not reached: keeps the previous record's field
    EXPECT_EQ(position(), "3 OF 4");
    EXPECT_EQ(colourOf(forward()), kRed);

    // 24 fields: the extra field begins the next record.
    const QString longPath = write("long-X3010214.log", logLine(long24) + logLine(plain));
    openInSearch(longPath);
    EXPECT_EQ(lineTotal(), "3");
    EXPECT_EQ(search->recordTable().field(0, 22), "l22");
    EXPECT_EQ(search->recordTable().field(1, 0), "l23");
    EXPECT_EQ(search->recordTable().field(1, 1), "p0");
    EXPECT_EQ(search->recordTable().field(1, 22), "p21");
    EXPECT_EQ(search->recordTable().field(2, 0), "p22");

    chooseInBrowser(longPath);
    EXPECT_EQ(field(22), "l22");
    click(forward());
    EXPECT_EQ(field(0), "l23");
    EXPECT_EQ(field(22), "p21");
    EXPECT_EQ(position(), "2 OF 3");
    click(back());  // back over uneven lines: record 1 again, counter 1
    EXPECT_EQ(position(), "1 OF 3");
    EXPECT_EQ(field(0), "l0");
    EXPECT_EQ(warnings(), 0);
}

TEST_F(InputMatrixTest, AFileOf5002LinesLoads5001RecordsAndCountsEveryLine) {
    std::string bytes = sampleLog(5001);
    std::vector<std::string> last = sampleFields(5001);
    last[1] = "LASTUSER";
    last[7] = "last.example";
    bytes += logLine(last);
    const QString path = write("big-X3010214.log", bytes);

    openInSearch(path);
    EXPECT_EQ(lineTotal(), "5003");
    EXPECT_EQ(search->recordTable().endOfData(), 5001);
    searchRecordNumber("5000");
    const QStringList lines = report().split("\r\n");
    ASSERT_EQ(lines.size(), 26);
    EXPECT_EQ(lines[0], "5000= ");
    EXPECT_EQ(lines[2 + 7], QString::fromStdString(sampleFields(5000)[7]));
    // Line 5002 was never loaded.
    QTest::mouseClick(control<QPushButton>(search.get(), "Command1", 0), Qt::LeftButton);
    control<QLineEdit>(search.get(), "Text4")->setText("LASTUSER");
    QTest::mouseClick(control<QPushButton>(search.get(), "Command3"), Qt::LeftButton);
    EXPECT_TRUE(report().isEmpty());

    // The browser steps through every line to the end.
    chooseInBrowser(path);
    EXPECT_EQ(position(), "1 OF 5003");
    for (int i = 1; i < 5002; ++i) {
        forward()->click();
    }
    EXPECT_EQ(position(), "5002 OF 5003");
    EXPECT_EQ(field(1), "LASTUSER");
    EXPECT_EQ(colourOf(forward()), kOrange);
    click(back());
    EXPECT_EQ(position(), "5001 OF 5003");
    EXPECT_EQ(field(0), QString::fromStdString(sampleFields(5000)[0]));
    click(forward());
    click(forward());
    EXPECT_EQ(position(), "5003 OF 5003");
    EXPECT_EQ(field(1), "LASTUSER");
    EXPECT_EQ(colourOf(forward()), kRed);
}

TEST_F(InputMatrixTest, RecordNumberTextsTypedIntoTheSearchBox) {
    const QString path = write("numbers-X3010214.log", sampleLog(10));
    openInSearch(path);
    const QString bad = QStringLiteral("A record number is a whole number from 0 to 5000.\r\n");
    for (const char* text : {"-1", "5001", "99999999999999999999", "1e3"}) {
        SCOPED_TRACE(text);
        searchRecordNumber(QString::fromLatin1(text));
        EXPECT_EQ(report(), QString::fromLatin1(text) + "= \r\n\r\n" + bad);
    }

    searchRecordNumber(" 7 ");
    QStringList lines = report().split("\r\n");
    ASSERT_EQ(lines.size(), 26);
    EXPECT_EQ(lines[0], " 7 = ");
    for (int k = 0; k < 23; ++k) {
        EXPECT_EQ(lines[2 + k],
                  QString::fromStdString(sampleFields(7)[static_cast<std::size_t>(k)]));
    }

    // Past the loaded records: the heading and 23 empty lines.
    searchRecordNumber("5000");
    EXPECT_EQ(report(), "5000= \r\n\r\n" + QString("\r\n").repeated(23));

    // An empty box runs no search: the last report stays.
    searchRecordNumber("");
    EXPECT_EQ(report(), "5000= \r\n\r\n" + QString("\r\n").repeated(23));
    EXPECT_EQ(warnings(), 0);
}

}  // namespace
}  // namespace hardening
