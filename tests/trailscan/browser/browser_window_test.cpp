#include "trailscan/browser/browser_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "forms/twips.h"
#include "tests/support/browser_controls.h"
#include "tests/support/controls.h"
#include "tests/support/drops.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_files.h"

namespace trailscan::browser {
namespace {

using testing_support::control;
using testing_support::kOrange;
using testing_support::kRed;
using testing_support::lineOfLength;
using testing_support::linesOfLengths;
using testing_support::logLine;
using testing_support::sampleFields;
using testing_support::ScriptedPlatform;
using testing_support::TempDir;

class BrowserWindowTest : public ::testing::Test, protected testing_support::BrowserControls {
  protected:
    void SetUp() override {
        window = std::make_unique<BrowserWindow>(scripted.platform);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    const QWidget* browserWindow() const override { return window.get(); }

    QString record() const { return field(0); }
    int dialogs() const { return static_cast<int>(scripted.chooser.requests.size()); }

    QString write(const std::string& name, const std::string& bytes) {
        return QString::fromStdString(dir.write(name, bytes).string());
    }

    TempDir dir;
    ScriptedPlatform scripted;
    std::unique_ptr<BrowserWindow> window;
};

TEST_F(BrowserWindowTest, AfterLoadTheWindowIsLaidOutAsDesignedAndEmpty) {
    EXPECT_EQ(window->objectName(), "Form1");
    EXPECT_EQ(window->windowTitle(), " Proxy Kestrand...!");
    EXPECT_EQ(window->size(), QSize(forms::twips(3765), forms::twips(8085)));
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(255, 255, 192));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->windowIcon().availableSizes().value(0), QSize(32, 32));

    for (int i = 0; i < 23; ++i) {
        QLineEdit* b = box(i);
        ASSERT_NE(b, nullptr) << i;
        const forms::DesignRect design{70, 25 + 320 * i, i == 0 ? 2000 : 3615, 300};
        EXPECT_EQ(b->geometry(), forms::toPixels(design)) << i;
        EXPECT_TRUE(b->text().isEmpty()) << i;
        EXPECT_EQ(b->font().family(), "Tahoma");
        EXPECT_DOUBLE_EQ(b->font().pointSizeF(), 9.75);
        EXPECT_FALSE(b->font().bold());
        EXPECT_EQ(b->palette().color(QPalette::Text), QColor(192, 0, 0));
        EXPECT_EQ(b->palette().color(QPalette::Base), QColor(255, 255, 255));
    }
    // The last box ends above the button row.
    EXPECT_EQ(box(22)->geometry().top(), forms::twips(7065));
    EXPECT_LT(box(22)->geometry().bottom(), forward()->geometry().top());

    EXPECT_EQ(positionBox()->geometry(), forms::toPixels({2110, 25, 1570, 300}));
    EXPECT_TRUE(position().isEmpty());
    EXPECT_TRUE(positionBox()->font().bold());
    EXPECT_EQ(positionBox()->palette().color(QPalette::Text), QColor(0, 0, 255));

    EXPECT_EQ(back()->geometry(), forms::toPixels({70, 7455, 1245, 195}));
    EXPECT_EQ(choose()->geometry(), forms::toPixels({1455, 7455, 765, 195}));
    EXPECT_EQ(forward()->geometry(), forms::toPixels({2370, 7455, 1320, 195}));
    EXPECT_EQ(back()->text(), "<<");
    EXPECT_EQ(choose()->text(), "| |");
    EXPECT_EQ(forward()->text(), ">>");
    EXPECT_TRUE(choose()->isDefault());
    for (QPushButton* b : {forward(), back(), choose()}) {
        EXPECT_EQ(colourOf(b), kOrange) << b->objectName().toStdString();
        EXPECT_EQ(b->palette().color(QPalette::Button), kOrange);
        EXPECT_EQ(b->font().family(), "Impact");
        EXPECT_TRUE(b->font().bold());
    }
    EXPECT_EQ(dialogs(), 0);
}

TEST_F(BrowserWindowTest, TabOrderRunsThroughTheBoxesThenTheButtonsThenThePosition) {
    std::vector<QWidget*> expected;
    for (int i = 0; i < 23; ++i) {
        expected.push_back(box(i));
    }
    expected.insert(expected.end(), {forward(), back(), choose(), positionBox()});
    QWidget* at = expected.front();
    for (std::size_t i = 1; i < expected.size(); ++i) {
        at = at->nextInFocusChain();
        EXPECT_EQ(at, expected[i]) << i;
    }
}

TEST_F(BrowserWindowTest, TheBackColourReallyShowsOnTheButtons) {
    const QString path = write("a.log", linesOfLengths({200, 210}));
    scripted.chooser.answer(path);
    click(choose());  // opening leaves "<<" red and ">>" orange
    const auto pixel = [](QPushButton* b) {
        return b->grab().toImage().pixelColor(4, b->height() / 2);
    };
    EXPECT_EQ(pixel(back()), kRed);
    EXPECT_EQ(pixel(forward()), kOrange);
    EXPECT_EQ(pixel(choose()), kOrange);
}

TEST_F(BrowserWindowTest, SteppingForwardAndBackThroughTheWorkedExample) {
    const QString path = write("X3010214.log", linesOfLengths({200, 210, 190, 205}));
    scripted.chooser.answer(path);

    click(forward());
    ASSERT_EQ(dialogs(), 1);
    const forms::FileRequest& request = scripted.chooser.requests[0];
    EXPECT_EQ(request.title, "  Open trailscan file:");
    EXPECT_EQ(request.initialFolder, "c:\\winnt\\system32\\");
    EXPECT_EQ(request.filters, QStringList({"All Files (*.*)", "Proxy reports Files (*.log)",
                                            "Compressed proxy reports Files (*.log.gz)"}));
    EXPECT_EQ(record(), "r1");
    EXPECT_EQ(position(), "1 OF 5");
    EXPECT_EQ(colourOf(back()), kOrange);
    EXPECT_EQ(colourOf(forward()), kOrange);
    EXPECT_EQ(box(1)->text(), "x");

    for (int n = 2; n <= 4; ++n) {
        click(forward());
        EXPECT_EQ(record(), QStringLiteral("r%1").arg(n));
        EXPECT_EQ(position(), QStringLiteral("%1 OF 5").arg(n));
    }

    click(back());  // 806 - 190 - 205 - 50 = 361, inside record 2
    EXPECT_EQ(record(), "r3");
    EXPECT_EQ(position(), "3 OF 5");
    click(back());  // 601 - 190 - 205 - 50 = 156, inside record 1
    EXPECT_EQ(record(), "r2");
    EXPECT_EQ(position(), "2 OF 5");
    EXPECT_EQ(colourOf(back()), kOrange);
    click(back());  // counter 2: from the first byte
    EXPECT_EQ(record(), "r1");
    EXPECT_EQ(position(), "1 OF 5");
    EXPECT_EQ(colourOf(back()), kRed);

    click(back());  // counter 1: the message, nothing else
    ASSERT_EQ(scripted.messenger.messages.size(), 1u);
    EXPECT_EQ(scripted.messenger.messages[0].title, " Tovrin said:");
    EXPECT_EQ(scripted.messenger.messages[0].text, "At start of file; No last record to return...");
    EXPECT_FALSE(scripted.messenger.messages[0].warning);
    EXPECT_EQ(record(), "r1");
    EXPECT_EQ(position(), "1 OF 5");
    EXPECT_EQ(colourOf(back()), kRed);

    for (int n = 2; n <= 4; ++n) {
        click(forward());
    }
    EXPECT_EQ(record(), "r4");
    EXPECT_EQ(colourOf(back()), kOrange);

    click(forward());  // the end of the file at once
    EXPECT_EQ(position(), "5 OF 5");
    EXPECT_EQ(record(), "r4");
    EXPECT_EQ(colourOf(forward()), kRed);
    EXPECT_EQ(dialogs(), 1);

    // The channel is closed: the next press chooses a file, and Cancel opens the same one.
    scripted.chooser.cancel();
    click(forward());
    EXPECT_EQ(dialogs(), 2);
    EXPECT_EQ(scripted.programEnd.count, 0);
    EXPECT_EQ(record(), "r1");
    EXPECT_EQ(position(), "1 OF 5");
    EXPECT_EQ(colourOf(forward()), kOrange);
    EXPECT_EQ(colourOf(back()), kOrange);
    EXPECT_EQ(scripted.chooser.unexpected, 0);
}

// A compressed log steps forward and back as the log it holds, to its end and back to the start.
TEST_F(BrowserWindowTest, ACompressedLogStepsAsThePlainLog) {
    std::vector<int> lengths;
    for (int i = 0; i < 1500; ++i) lengths.push_back(150 + (i * 37) % 400);
    const std::string bytes = linesOfLengths(lengths);
    const auto walk = [&](const QString& path) {
        BrowserWindow browser(scripted.platform);
        browser.show();
        scripted.chooser.answer(path);
        std::vector<QString> seen;
        const auto take = [&](const char* button) {
            QTest::mouseClick(control<QPushButton>(&browser, button), Qt::LeftButton);
            seen.push_back(control<QLineEdit>(&browser, "Text1", 0)->text() + " " +
                           control<QLineEdit>(&browser, "Text2")->text());
        };
        for (int i = 0; i < 40; ++i) take("Command1");
        for (int i = 0; i < 45; ++i) take("Command2");  // back before the first record
        for (int i = 0; i < 1450; ++i) take("Command1");
        for (int i = 0; i < 30; ++i) take("Command2");
        return seen;
    };
    const std::vector<QString> plain = walk(write("X3010214.log", bytes));
    const std::vector<QString> packed =
        walk(write("X3010214.log.gz", testing_support::gzipped(bytes, 6, 100'000)));
    EXPECT_EQ(plain[39], "r40 40 OF 1501");
    EXPECT_EQ(plain, packed);
}

TEST_F(BrowserWindowTest, UnevenRecordsShowARecordAgainWithALowerCounter) {
    // Record 2 of 300 bytes: records begin at 1, 201, 501 and 691; the end is after 895.
    scripted.chooser.answer(write("uneven.log", linesOfLengths({200, 300, 190, 205})));
    for (int n = 1; n <= 4; ++n) {
        click(forward());
    }
    EXPECT_EQ(position(), "4 OF 5");
    click(back());  // 896 - 190 - 205 - 50 = 451, inside record 2
    EXPECT_EQ(record(), "r3");
    EXPECT_EQ(position(), "3 OF 5");
    click(back());  // 691 - 190 - 205 - 50 = 246, inside record 2 again
    EXPECT_EQ(record(), "r3");
    EXPECT_EQ(position(), "2 OF 5");
}

TEST_F(BrowserWindowTest, AStepBackLandingOnAnLfSkipsTheFollowingRecordToo) {
    // Record 2 is 49 bytes longer than record 4: the second step back from record 4
    // computes 450 - 100 - 200 - 50 = 100, the LF that ends record 1.
    scripted.chooser.answer(write("lf.log", linesOfLengths({100, 249, 100, 200})));
    for (int n = 1; n <= 4; ++n) {
        click(forward());
    }
    click(back());
    EXPECT_EQ(record(), "r3");
    click(back());
    EXPECT_EQ(record(), "r3");
    EXPECT_EQ(position(), "2 OF 5");
}

TEST_F(BrowserWindowTest, AStepBackBeforeTheFirstByteShowsTheFirstRecord) {
    // Records of 100, 100, 150 and 300 bytes: the second step back from record 4 computes
    // 351 - 150 - 300 - 50 = -149.
    scripted.chooser.answer(write("short.log", linesOfLengths({100, 100, 150, 300})));
    for (int n = 1; n <= 4; ++n) {
        click(forward());
    }
    click(back());
    EXPECT_EQ(record(), "r3");
    EXPECT_EQ(position(), "3 OF 5");
    click(back());
    EXPECT_EQ(record(), "r1");
    EXPECT_EQ(position(), "1 OF 5");
    EXPECT_EQ(colourOf(back()), kRed);
    click(back());
    EXPECT_EQ(scripted.messenger.messages.size(), 1u);
    click(forward());
    EXPECT_EQ(record(), "r2");
    EXPECT_EQ(position(), "2 OF 5");
}

TEST_F(BrowserWindowTest, PlaceholderFieldsShowAsEmptyBoxesBothWays) {
    std::string bytes;
    for (int n = 1; n <= 3; ++n) {
        auto fields = sampleFields(n);
        fields[4] = n == 2 ? "-" : "X" + std::to_string(n);
        fields[0] = "r" + std::to_string(n);
        bytes += logLine(fields);
    }
    scripted.chooser.answer(write("dash.log", bytes));
    click(forward());
    EXPECT_EQ(box(4)->text(), "X1");
    click(forward());
    EXPECT_EQ(box(4)->text(), "");
    EXPECT_EQ(box(10)->text(), "");  // "-" in every sample line
    EXPECT_EQ(box(7)->text(), "news.example.net");
    click(forward());
    EXPECT_EQ(box(4)->text(), "X3");
    click(back());
    EXPECT_EQ(record(), "r2");
    EXPECT_EQ(box(4)->text(), "");
    click(back());
    EXPECT_EQ(box(4)->text(), "X1");
}

TEST_F(BrowserWindowTest, FieldsAreShownInTheWindowsCodePage) {
    auto fields = sampleFields(1);
    fields[1] = "J\xf6rg \x80";  // o with diaeresis, euro sign
    scripted.chooser.answer(write("cp.log", logLine(fields)));
    click(forward());
    EXPECT_EQ(box(1)->text(), QString::fromUtf8("J\u00f6rg \u20ac"));
}

TEST_F(BrowserWindowTest, AShortLastLineKeepsThePreviousFieldsInTheBoxesItDidNotReach) {
    std::string bytes = lineOfLength(1, 120);
    bytes += "b0, b1, b2\r\n";
    scripted.chooser.answer(write("cut.log", bytes));
    click(forward());
    click(forward());
    EXPECT_EQ(box(0)->text(), "b0");
    EXPECT_EQ(box(2)->text(), "b2");
    EXPECT_EQ(box(3)->text(), "x");  // from record 1
    EXPECT_EQ(position(), "2 OF 3");
    EXPECT_EQ(colourOf(forward()), kRed);

    // The channel was closed at the end: the next press starts a new choice.
    scripted.chooser.answer(write("next.log", linesOfLengths({90})));
    click(back());
    EXPECT_EQ(dialogs(), 2);
    EXPECT_EQ(record(), "r1");
    EXPECT_EQ(position(), "1 OF 2");
    EXPECT_EQ(colourOf(forward()), kOrange);
    EXPECT_EQ(colourOf(back()), kRed);
}

TEST_F(BrowserWindowTest, TheFirstActionSetsTheBackButtonColour) {
    const QString path = write("first.log", linesOfLengths({100, 100}));
    scripted.chooser.answer(path);
    click(forward());
    EXPECT_EQ(colourOf(back()), kOrange);

    BrowserWindow second(scripted.platform);
    scripted.chooser.answer(path);
    QTest::mouseClick(control<QPushButton>(&second, "Command3"), Qt::LeftButton);
    EXPECT_EQ(colourOf(control<QPushButton>(&second, "Command2")), kRed);
    EXPECT_EQ(control<QLineEdit>(&second, "Text2")->text(), "1 OF 3");

    BrowserWindow third(scripted.platform);
    scripted.chooser.answer(path);
    QTest::mouseClick(control<QPushButton>(&third, "Command2"), Qt::LeftButton);
    EXPECT_EQ(colourOf(control<QPushButton>(&third, "Command2")), kRed);
    EXPECT_EQ(control<QLineEdit>(&third, "Text2")->text(), "1 OF 3");
    EXPECT_EQ(control<QLineEdit>(&third, "Text1(0)")->text(), "r1");
    EXPECT_TRUE(scripted.messenger.messages.empty());
}

TEST_F(BrowserWindowTest, OpeningMovesTheFocusToForward) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    box(5)->setFocus();
    scripted.chooser.answer(write("focus.log", linesOfLengths({100})));
    click(choose());
    EXPECT_TRUE(forward()->hasFocus());
}

TEST_F(BrowserWindowTest, EnterPressesTheDefaultButton) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    box(5)->setFocus();
    scripted.chooser.answer(write("enter.log", linesOfLengths({100, 100})));
    QTest::keyClick(box(5), Qt::Key_Return);
    EXPECT_EQ(dialogs(), 1);
    EXPECT_EQ(position(), "1 OF 3");
    // With ">>" focused, Enter presses ">>".
    QTest::keyClick(forward(), Qt::Key_Return);
    EXPECT_EQ(position(), "2 OF 3");
    EXPECT_EQ(dialogs(), 1);
}

TEST_F(BrowserWindowTest, CancelAsTheVeryFirstActionEndsTheProgram) {
    scripted.chooser.cancel();
    click(choose());
    EXPECT_EQ(scripted.programEnd.count, 1);
    EXPECT_TRUE(position().isEmpty());
    EXPECT_EQ(colourOf(back()), kOrange);

    BrowserWindow other(scripted.platform);
    scripted.chooser.cancel();
    QTest::mouseClick(control<QPushButton>(&other, "Command1"), Qt::LeftButton);
    EXPECT_EQ(scripted.programEnd.count, 2);
}

TEST_F(BrowserWindowTest, ANameOfFourCharactersEndsTheProgramAndFiveAreAccepted) {
    scripted.chooser.answer("a.lo");
    click(forward());
    EXPECT_EQ(scripted.programEnd.count, 1);

    // A five-character name (relative to the current folder) is opened.
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    dir.write("a.log", linesOfLengths({80}));
    scripted.chooser.answer("a.log");
    click(forward());
    std::filesystem::current_path(saved);
    EXPECT_EQ(scripted.programEnd.count, 1);
    EXPECT_EQ(position(), "1 OF 2");
}

TEST_F(BrowserWindowTest, ChoosingAnotherFileStartsItFromItsFirstRecord) {
    const QString first = write("one.log", linesOfLengths({100, 110, 120}));
    const QString second = write("two.log", linesOfLengths({90, 95}));
    scripted.chooser.answer(first);
    click(forward());
    click(forward());
    EXPECT_EQ(position(), "2 OF 4");

    scripted.chooser.answer(second);
    click(choose());
    EXPECT_EQ(record(), "r1");
    EXPECT_EQ(box(22)->text().size(), 90 - 2 - 22 * 3 - 2 + 1);
    EXPECT_EQ(position(), "1 OF 3");
    EXPECT_EQ(colourOf(back()), kRed);
    click(forward());
    click(forward());  // the end of the second file
    EXPECT_EQ(position(), "3 OF 3");

    // Cancel keeps the name: the same file again from its first record.
    scripted.chooser.cancel();
    click(choose());
    EXPECT_EQ(scripted.programEnd.count, 0);
    EXPECT_EQ(record(), "r1");
    EXPECT_EQ(position(), "1 OF 3");
    EXPECT_EQ(colourOf(forward()), kOrange);
}

TEST_F(BrowserWindowTest, ChoosingAnEmptyFileEmptiesEveryBox) {
    scripted.chooser.answer(write("full.log", linesOfLengths({100})));
    click(forward());
    EXPECT_EQ(record(), "r1");
    scripted.chooser.answer(write("empty.log", ""));
    click(choose());
    for (int i = 0; i < 23; ++i) {
        EXPECT_TRUE(box(i)->text().isEmpty()) << i;
    }
    EXPECT_EQ(position(), "1 OF 1");
    EXPECT_EQ(colourOf(forward()), kRed);
}

TEST_F(BrowserWindowTest, AFileThatCannotBeOpenedIsReportedAndTheWindowStaysUsable) {
    scripted.chooser.answer(QString::fromStdString((dir.path() / "missing.log").string()));
    click(forward());
    ASSERT_EQ(scripted.messenger.messages.size(), 1u);
    EXPECT_TRUE(scripted.messenger.messages[0].warning);
    EXPECT_TRUE(scripted.messenger.messages[0].text.contains("missing.log"));
    EXPECT_EQ(scripted.programEnd.count, 0);
    EXPECT_TRUE(position().isEmpty());

    scripted.chooser.answer(QString::fromStdString(dir.path().string()));
    click(back());
    ASSERT_EQ(scripted.messenger.messages.size(), 2u);
    EXPECT_TRUE(scripted.messenger.messages[1].warning);

    scripted.chooser.answer(write("good.log", linesOfLengths({100})));
    click(forward());
    EXPECT_EQ(dialogs(), 3);
    EXPECT_EQ(position(), "1 OF 2");
}

TEST_F(BrowserWindowTest, ClosingTheWindowClosesItsFile) {
    scripted.chooser.answer(write("close.log", linesOfLengths({100, 100})));
    click(forward());
    window->close();
    EXPECT_FALSE(window->isVisible());
    window->show();
    EXPECT_EQ(record(), "r1");  // the last record stays shown
    scripted.chooser.cancel();
    click(forward());  // no file open: a new choice, Cancel opens the same file
    EXPECT_EQ(dialogs(), 2);
    EXPECT_EQ(position(), "1 OF 3");
}

}  // namespace
TEST_F(BrowserWindowTest, KeysAndADropRunTheButtonsFlowsAndACancelKeepsWhatIsShown) {
    std::string text;
    for (int i = 0; i < 3; ++i) text += logLine(sampleFields(i));
    const QString first = write("X3010214.log", text);
    const QString second = write("X3010215.log", text + text);

    EXPECT_TRUE(testing_support::dropOn(window.get(), {QUrl::fromLocalFile(first)}));
    EXPECT_EQ(dialogs(), 0);
    EXPECT_EQ(position(), "1 OF 4");
    QTest::keyClick(window.get(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(position(), "2 OF 4");
    const QString shown = record();
    const QColor backColour = colourOf(back());

    // Cancel while the new log is counted: the boxes, position and colours stay.
    scripted.progress.cancelNext = true;
    scripted.chooser.answer(second);
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs(), 1);
    EXPECT_EQ(record(), shown);
    EXPECT_EQ(position(), "2 OF 4");
    EXPECT_EQ(colourOf(back()), backColour);
    EXPECT_TRUE(scripted.messenger.messages.empty());
    // Not open any more: the next ">>" asks for a log, which then opens.
    scripted.chooser.answer(second);
    QTest::keyClick(window.get(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(position(), "1 OF 7");
    QTest::keyClick(window.get(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(scripted.chooser.unexpected, 0);
    EXPECT_FALSE(testing_support::dropOn(window.get(), {QUrl("ftp://example.net/a.log")}));
}

}  // namespace trailscan::browser
