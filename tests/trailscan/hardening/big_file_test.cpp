// A 100 MB file with no line break at all: one field that the windows read past, keeping
// only its first kMaxFieldLength bytes, and that the whole-log search reads a piece at a time,
// so memory stays bounded.
#include <QAction>
#include <QTest>
#include <fstream>

#include "tests/trailscan/hardening/both_windows.h"
#include "trailscan/log/format.h"

namespace hardening {
namespace {

using trailscan::log::kMaxFieldLength;

constexpr std::int64_t kFileSize = 100 * 1024 * 1024;
// Far below the file's size: what the windows keep is bounded by the field limit.
// AddressSanitizer keeps freed blocks resident in its quarantine (the count's read
// buffers among them), so its builds get more room; both stay below the file's size.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::int64_t kResidentGrowthLimit = 64 * 1024 * 1024;
#else
constexpr std::int64_t kResidentGrowthLimit = 24 * 1024 * 1024;
#endif

class BigFileTest : public BothWindowsTest {};

TEST_F(BigFileTest, AHundredMegabytesWithoutALineBreakIsReadInBoundedMemory) {
    const auto file = dir.path() / "oneline-X3010214.log";
    {
        std::ofstream out(file, std::ios::binary);
        const std::string chunk(1024 * 1024, 'A');
        for (std::int64_t written = 0; written < kFileSize; written += chunk.size()) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
        ASSERT_TRUE(out.good());
    }
    const QString path = QString::fromStdString(file.string());
    const std::int64_t before = residentBytes();
    ASSERT_GT(before, 0);

    openInSearch(path);
    EXPECT_TRUE(search->isFileOpen());
    EXPECT_EQ(lineTotal(), "2");
    EXPECT_EQ(search->recordTable().field(0, 0).size(), kMaxFieldLength);
    EXPECT_TRUE(search->recordTable().field(0, 1).empty());
    EXPECT_EQ(search->recordTable().endOfData(), 1);
    EXPECT_TRUE(report().isEmpty());  // no user name: the default query finds nothing
    // The stored prefix is searchable like any field.
    QTest::mouseClick(control<QPushButton>(search.get(), "Command1", 6), Qt::LeftButton);
    control<QLineEdit>(search.get(), "Text4")->setText("AAAA");
    QTest::mouseClick(control<QPushButton>(search.get(), "Command3"), Qt::LeftButton);
    EXPECT_EQ(report().size(), qsizetype(3 + static_cast<qsizetype>(kMaxFieldLength) + 3 + 22 * 3));
    EXPECT_LT(residentBytes() - before, kResidentGrowthLimit);

    // Ctrl+Enter's search reads the one field from the file a piece at a time instead of
    // holding the record whole: at its peak it holds far less than the file.
    QTest::mouseClick(control<QPushButton>(search.get(), "Command1", 0), Qt::LeftButton);
    resetPeakResident();
    const std::int64_t beforeWholeLog = residentBytes();
    search->findChild<QAction*>("wholeLogAction")->trigger();
    EXPECT_TRUE(report().isEmpty());  // the one record has no user name
    EXPECT_LT(peakResidentBytes() - beforeWholeLog, kResidentGrowthLimit);

    // The browser shows the stored prefix whole, and the end follows the one field.
    chooseInBrowser(path);
    EXPECT_EQ(position(), "1 OF 2");
    EXPECT_EQ(field(0).size(), qsizetype(kMaxFieldLength));
    EXPECT_EQ(field(0), QString(qsizetype(kMaxFieldLength), QLatin1Char('A')));
    EXPECT_EQ(colourOf(forward()), kRed);
    EXPECT_LT(residentBytes() - before, kResidentGrowthLimit);

    // Chosen again, it is still the one record.
    scripted.chooser.cancel();
    click(forward());
    EXPECT_EQ(position(), "1 OF 2");
    EXPECT_EQ(field(0).size(), qsizetype(kMaxFieldLength));
    EXPECT_LT(residentBytes() - before, kResidentGrowthLimit);
}

// Fields longer than a line edit's usual 32767 characters reach the boxes whole.
TEST_F(BigFileTest, FieldsUpToTheLimitAreShownAndSearchedWhole) {
    std::vector<std::string> fields = testing_support::sampleFields(0);
    fields[1] = std::string(40000, 'u') + "END";
    fields[7] = "long.example";
    const QString path = write("longfield-X3010214.log",
                               testing_support::logLine(fields) +
                                   testing_support::logLine(testing_support::sampleFields(1)) +
                                   testing_support::logLine(testing_support::sampleFields(2)));
    openInSearch(path);
    EXPECT_EQ(control<QLineEdit>(search.get(), "Text4")->text().size(), 40003);
    EXPECT_TRUE(control<QLineEdit>(search.get(), "Text4")->text().endsWith("END"));
    EXPECT_EQ(report(), "long.example\r\n");

    chooseInBrowser(path);
    EXPECT_EQ(field(1).size(), 40003);
    EXPECT_TRUE(field(1).endsWith("END"));
    click(forward());
    click(forward());
    click(back());  // lands inside the long record and reads on to the next
    EXPECT_EQ(position(), "2 OF 4");
    EXPECT_EQ(field(1), "anonymous");
    click(back());
    EXPECT_EQ(position(), "1 OF 4");
    EXPECT_EQ(field(1).size(), 40003);
}

}  // namespace
}  // namespace hardening
