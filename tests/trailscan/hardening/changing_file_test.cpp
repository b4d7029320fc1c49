// Logs that change while a window holds them open: written to, truncated, rewritten in
// place or replaced by another file under the same name.
#include <QTest>
#include <filesystem>
#include <fstream>

#include "tests/trailscan/hardening/both_windows.h"

namespace hardening {
namespace {

namespace fs = std::filesystem;

void append(const QString& path, const std::string& bytes) {
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::app);
    out << bytes;
}

using testing_support::rewriteInPlace;

class ChangingFileTest : public BothWindowsTest {};

// ">>" shows records appended since the file was opened. The line total stays the one
// counted at the open, so the counter can pass it.
TEST_F(ChangingFileTest, RecordsAppendedWhileOpenAreSteppedOnto) {
    const QString path = write("grow-X3010214.log", linesOfLengths({200, 210}));
    chooseInBrowser(path);
    openInSearch(path);
    click(forward());
    EXPECT_EQ(position(), "2 OF 3");

    append(path, linesOfLengths({190, 205}, "n"));
    click(forward());
    EXPECT_EQ(field(0), "n1");
    EXPECT_EQ(position(), "3 OF 3");
    click(forward());
    EXPECT_EQ(field(0), "n2");
    EXPECT_EQ(position(), "4 OF 3");
    EXPECT_EQ(colourOf(forward()), kOrange);
    click(back());
    EXPECT_EQ(field(0), "n1");
    EXPECT_EQ(position(), "3 OF 3");
    click(forward());
    click(forward());
    EXPECT_EQ(position(), "5 OF 3");
    EXPECT_EQ(field(0), "n2");
    EXPECT_EQ(colourOf(forward()), kRed);

    // The search window searches what it loaded; its next open takes in the new lines.
    searchRecordNumber("2");
    EXPECT_EQ(report(), "2= \r\n\r\n" + QString("\r\n").repeated(23));
    openInSearch(path);
    EXPECT_EQ(lineTotal(), "5");
    searchRecordNumber("2");
    EXPECT_TRUE(report().startsWith("2= \r\n\r\nn1\r\n"));
}

TEST_F(ChangingFileTest, AFileTruncatedWhileOpenEndsTheNextStep) {
    const QString path = write("cut-X3010214.log", linesOfLengths({200, 210, 190, 205}));
    chooseInBrowser(path);
    click(forward());
    EXPECT_EQ(field(0), "r2");

    // Truncated to nothing: ">>" meets the end instead of showing what the file held.
    fs::resize_file(path.toStdString(), 0);
    click(forward());
    EXPECT_EQ(position(), "3 OF 5");
    EXPECT_EQ(field(0), "r2");
    EXPECT_EQ(colourOf(forward()), kRed);
    for (int i = 1; i < 22; ++i) {
        EXPECT_EQ(field(i), "x") << i;  // the last record read stays shown
    }

    // Cut after record 2 while record 3 is shown: ">>" meets the end.
    rewriteInPlace(path.toStdString(), linesOfLengths({200, 210, 190, 205}));
    chooseInBrowser(path);
    click(forward());
    click(forward());
    EXPECT_EQ(field(0), "r3");
    fs::resize_file(path.toStdString(), 410);
    click(forward());
    EXPECT_EQ(position(), "4 OF 5");
    EXPECT_EQ(field(0), "r3");
    EXPECT_EQ(colourOf(forward()), kRed);
    // The file is closed now: the next "<<" is a new choice, which reads what is left.
    scripted.chooser.cancel();
    click(back());
    EXPECT_EQ(position(), "1 OF 3");
    EXPECT_EQ(field(0), "r1");
}

TEST_F(ChangingFileTest, AStepBackIntoATruncatedFileSeeksPastItsEnd) {
    const QString path = write("back-X3010214.log", linesOfLengths({200, 210, 190, 205}));
    chooseInBrowser(path);
    click(forward());
    click(forward());
    click(forward());
    EXPECT_EQ(position(), "4 OF 5");
    fs::resize_file(path.toStdString(), 300);
    click(back());  // 806 - 190 - 205 - 50 = 361: past the new end
    EXPECT_EQ(position(), "3 OF 5");
    EXPECT_EQ(field(0), "r4");
    EXPECT_EQ(colourOf(forward()), kRed);

    // At record 2 the step back reads from the first byte, which the file still has.
    rewriteInPlace(path.toStdString(), linesOfLengths({200, 210, 190, 205}));
    chooseInBrowser(path);
    click(forward());
    fs::resize_file(path.toStdString(), 0);
    click(back());
    EXPECT_EQ(position(), "1 OF 5");
    EXPECT_EQ(colourOf(back()), kRed);
    EXPECT_EQ(colourOf(forward()), kRed);
    EXPECT_EQ(scripted.programEnd.count, 0);
    EXPECT_EQ(warnings(), 0);
}

TEST_F(ChangingFileTest, AFileRewrittenInPlaceIsReadAsItIsNow) {
    const QString path = write("redo-X3010214.log", linesOfLengths({200, 210, 190, 205}));
    chooseInBrowser(path);
    click(forward());
    EXPECT_EQ(field(0), "r2");
    // Other records at the same places, one of them longer.
    rewriteInPlace(path.toStdString(), linesOfLengths({200, 210, 190, 305}, "n"));
    click(forward());
    EXPECT_EQ(field(0), "n3");
    click(forward());
    EXPECT_EQ(field(0), "n4");
    EXPECT_EQ(field(22).size(), 305 - 2 - 21 - 44 - 2);
    click(back());
    EXPECT_EQ(field(0), "n3");
    EXPECT_EQ(position(), "3 OF 5");
}

TEST_F(ChangingFileTest, AFileReplacedUnderItsNameKeepsTheOpenOneUntilTheNextOpen) {
    const QString path = write("swap-X3010214.log", linesOfLengths({200, 210, 190, 205}));
    openInSearch(path);
    chooseInBrowser(path);
    click(forward());
    const QString replacement = write("new.log", linesOfLengths({100, 100}, "n"));
    fs::rename(replacement.toStdString(), path.toStdString());

    // The browser reads on in the file it opened.
    click(forward());
    EXPECT_EQ(field(0), "r3");
    click(back());
    EXPECT_EQ(field(0), "r2");

    // The search window's next open counts and loads the file now under the name.
    openInSearch(path);
    EXPECT_EQ(lineTotal(), "3");
    EXPECT_EQ(search->recordTable().field(1, 0), "n2");
    EXPECT_EQ(search->recordTable().endOfData(), 2);

    // A file removed while the browser holds it: the next choice gives a message.
    fs::remove(path.toStdString());
    click(forward());
    click(forward());
    click(forward());
    EXPECT_EQ(colourOf(forward()), kRed);
    scripted.chooser.cancel();
    click(forward());
    EXPECT_EQ(warnings(), 1);
    EXPECT_EQ(scripted.programEnd.count, 0);
}

}  // namespace
}  // namespace hardening
