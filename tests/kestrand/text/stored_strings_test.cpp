// The stored Persian texts, code point by code point: the invisible marks (U+200E) and
// the kashidas (U+0640) cannot be checked by eye.
#include "kestrand/text/stored_strings.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string_view>
#include <vector>

#include "kestrand/info/chart_data.h"
#include "kestrand/settings/settings_dialog.h"
#include "kestrand/text/spoken_text.h"
#include "tests/kestrand/gui_helpers.h"
#include "tests/support/controls.h"
#include "tests/support/scripted_platform.h"

namespace {

using testing_support::control;
using Points = std::vector<unsigned>;

Points codePoints(std::u16string_view text) { return Points(text.begin(), text.end()); }
Points codePoints(const QString& text) {
    Points points;
    for (QChar c : text) points.push_back(c.unicode());
    return points;
}

TEST(StoredStrings, TwoPartCaptionsHoldTheirHalvesReversedAroundALeftToRightMark) {
    using kestrand::text::kDialogButtons;
    // Default: "فرض", mark, "پـيش" with a kashida after its first letter.
    EXPECT_EQ(codePoints(kDialogButtons[0]),
              (Points{0x0641, 0x0631, 0x0636, 0x200E, 0x067E, 0x0640, 0x064A, 0x0634}));
    // Cancel: "نظر", mark, "صرف".
    EXPECT_EQ(codePoints(kDialogButtons[1]),
              (Points{0x0646, 0x0638, 0x0631, 0x200E, 0x0635, 0x0631, 0x0641}));
    // OK: "قبول" stretched with five kashidas.
    EXPECT_EQ(codePoints(kDialogButtons[2]),
              (Points{0x0642, 0x0628, 0x0640, 0x0640, 0x0640, 0x0640, 0x0640, 0x0648, 0x0644}));
}

TEST(StoredStrings, LabelsStoreTheirColonFirst) {
    EXPECT_EQ(codePoints(kestrand::text::kFolderLabel),
              (Points{0x003A, 0x0645, 0x0633, 0x064A, 0x0631, 0x0020, 0x0641,
                      0x0627, 0x064A, 0x0644, 0x0647, 0x0627, 0x064A, 0x0020,
                      0x0627, 0x0637, 0x0644, 0x0627, 0x0639, 0x0627, 0x062A}));
    EXPECT_EQ(codePoints(kestrand::text::kRequestedLabel),
              (Points{0x003A, 0x0627, 0x0637, 0x0644, 0x0627, 0x0639, 0x0627, 0x062A, 0x0020,
                      0x062F, 0x0631, 0x062E, 0x0648, 0x0627, 0x0633, 0x062A, 0x064A}));
}

TEST(StoredStrings, ReportKindsByIndex) {
    const std::vector<Points> expected = {
        {0x0622, 0x062F, 0x0631, 0x0633, 0x0020, 0x06A9, 0x0627, 0x0631, 0x0628, 0x0631, 0x0627,
         0x0646},
        {0x0646, 0x0648, 0x0639, 0x0020, 0x0648, 0x064A, 0x0646, 0x062F, 0x0648, 0x0632, 0x0020,
         0x06A9, 0x0627, 0x0631, 0x0628, 0x0631, 0x0627, 0x0646},
        {0x0646, 0x0648, 0x0639, 0x0020, 0x0645, 0x0631, 0x0648, 0x0631, 0x06AF, 0x0631, 0x0020,
         0x06A9, 0x0627, 0x0631, 0x0628, 0x0631, 0x0627, 0x0646},
        {0x0633, 0x0627, 0x0639, 0x0627, 0x062A, 0x0020, 0x067E, 0x0631, 0x0020, 0x06A9, 0x0627,
         0x0631, 0x0628, 0x0631, 0x062F},
        {0x0635, 0x0641, 0x062D, 0x0627, 0x062A, 0x0020, 0x062F, 0x064A, 0x062F, 0x0647, 0x0020,
         0x0634, 0x062F, 0x0647},
        {0x06A9, 0x0627, 0x0631, 0x0628, 0x0631, 0x0627, 0x0646, 0x0020, 0x062F, 0x0627, 0x062E,
         0x0644, 0x0020, 0x06A9, 0x0634, 0x0648, 0x0631},
        {0x062A, 0x0639, 0x062F, 0x0627, 0x062F, 0x0020, 0x062C, 0x0633, 0x062A, 0x062C, 0x0648,
         0x0647, 0x0627},
    };
    ASSERT_EQ(kestrand::text::kReportKinds.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(codePoints(kestrand::text::kReportKinds[i]), expected[i]) << "index " << i;
    }
}

TEST(StoredStrings, ChartSeriesAndSeasons) {
    const auto& data = kestrand::info::usageChartData();
    EXPECT_EQ(codePoints(data.seriesNames[0]), (Points{0x06A9, 0x0627, 0x0631, 0x0628, 0x0631}));
    EXPECT_EQ(codePoints(data.seriesNames[1]), (Points{0x062C, 0x0633, 0x062A, 0x062C, 0x0648}));
    EXPECT_EQ(codePoints(data.seriesNames[2]),
              (Points{0x0646, 0x0627, 0x0645, 0x0647, 0x200E, 0x0647, 0x0627}));
    EXPECT_EQ(codePoints(data.categories[0]), (Points{0x0628, 0x0647, 0x0627, 0x0631}));
    EXPECT_EQ(codePoints(data.categories[1]),
              (Points{0x062A, 0x0627, 0x0628, 0x0633, 0x062A, 0x0627, 0x0646}));
    EXPECT_EQ(codePoints(data.categories[2]), (Points{0x067E, 0x0627, 0x0626, 0x064A, 0x0632}));
    EXPECT_EQ(codePoints(data.categories[3]),
              (Points{0x0632, 0x0645, 0x0633, 0x062A, 0x0627, 0x0646}));
}

TEST(StoredStrings, MainButtonCaptionAndLatinTexts) {
    const std::u16string_view caption = kestrand::text::kOpenInformationFiles;
    EXPECT_EQ(caption.size(), 82u);
    EXPECT_EQ(codePoints(caption.substr(0, 9)),
              (Points{0x0628, 0x0627, 0x0632, 0x0020, 0x06A9, 0x0631, 0x062F, 0x0646, 0x0020}));
    EXPECT_EQ(caption.substr(caption.size() - 13),
              std::u16string_view(u"\u067E\u0627\u064A\u06AF\u0627\u0647 Orvane"));
    EXPECT_EQ(kestrand::text::kMainCaption, std::u16string_view(u" ORVANE users information"));
    EXPECT_EQ(kestrand::text::kSettingsCaption, std::u16string_view(u" Performances..."));
    EXPECT_EQ(kestrand::text::kInitialFolder, std::u16string_view(u"I:\\#LOCALs\\log-server"));
}

TEST(StoredStrings, SpokenTextsJoinThePartsInReadingOrderAndEndLabelsWithTheColon) {
    using kestrand::text::PartOrder;
    using kestrand::text::spokenCaption;
    // Default: "پيش", a zero-width non-joiner, "فرض"; the kashida is dropped.
    EXPECT_EQ(codePoints(spokenCaption(kestrand::text::kDialogButtons[0], PartOrder::Swapped)),
              (Points{0x067E, 0x064A, 0x0634, 0x200C, 0x0641, 0x0631, 0x0636}));
    EXPECT_EQ(codePoints(spokenCaption(kestrand::text::kDialogButtons[2], PartOrder::Swapped)),
              (Points{0x0642, 0x0628, 0x0648, 0x0644}));
    // The series name is stored in reading order.
    EXPECT_EQ(codePoints(spokenCaption(kestrand::info::usageChartData().seriesNames[2],
                                       PartOrder::Reading)),
              (Points{0x0646, 0x0627, 0x0645, 0x0647, 0x200C, 0x0647, 0x0627}));
    EXPECT_EQ(spokenCaption(u"Browse", PartOrder::Swapped), u"Browse");
    EXPECT_EQ(codePoints(kestrand::text::spokenLabel(kestrand::text::kRequestedLabel)),
              (Points{0x0627, 0x0637, 0x0644, 0x0627, 0x0639, 0x0627, 0x062A, 0x0020, 0x062F,
                      0x0631, 0x062E, 0x0648, 0x0627, 0x0633, 0x062A, 0x064A, 0x003A}));
}

TEST(StoredStrings, TheDialogShowsTheStoredTextsUnchanged) {
    testing_support::ScriptedPlatform scripted;
    kestrand_test::RecordedReports reports;
    kestrand::settings::SettingsDialog dialog(scripted.platform, reports);
    using kestrand::text::kDialogButtons;
    for (int i = 0; i < 3; ++i) {
        auto* button = control<QPushButton>(&dialog, "Command1", i);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(codePoints(button->text()), codePoints(kDialogButtons[i]));
    }
    for (int i = 0; i < 7; ++i) {
        auto* box = control<QCheckBox>(&dialog, "Check1", i);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(codePoints(box->text()), codePoints(kestrand::text::kReportKinds[i]));
    }
    EXPECT_EQ(codePoints(control<QLabel>(&dialog, "Label1")->text()),
              codePoints(kestrand::text::kFolderLabel));
    EXPECT_EQ(control<QLineEdit>(&dialog, "Text1")->text(),
              QStringLiteral("I:\\#LOCALs\\log-server"));
}

}  // namespace
