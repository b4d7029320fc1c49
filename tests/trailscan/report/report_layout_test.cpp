#include "trailscan/report/report_layout.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using trailscan::report::ReportLayout;
using trailscan::report::ReportText;
using Offset = ReportLayout::Offset;

// Advances that differ by character, so a wrong prefix sum shows: 'i' is narrow, 'W' wide.
std::int32_t advance(char16_t c) {
    if (c == u'i' || c == u'.') {
        return 3 * 64;
    }
    if (c == u'W') {
        return 11 * 64;
    }
    return 7 * 64 + (c % 5);
}
bool isWord(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_';
}

TEST(ReportLayout, BreaksLinesOnlyAtCrLfInBothForms) {
    ReportText text;
    ReportLayout layout(text, advance, isWord);
    text.assignBytes("www.a.com\r\nwww.bb.com\r\n\r\nlast");
    layout.rebuild();
    ASSERT_EQ(layout.lineCount(), 4);
    EXPECT_EQ(layout.lineStart(1), 11);
    EXPECT_EQ(layout.lineEnd(1), 21);
    EXPECT_EQ(layout.lineStart(2), layout.lineEnd(2));
    EXPECT_EQ(layout.lineOf(layout.size()), 3);
    EXPECT_EQ(layout.xInLine(3, layout.lineEnd(3)),
              advance(u'l') + advance(u'a') + advance(u's') + advance(u't'));

    // A typed heading the code page cannot hold: same rules over UTF-16.
    text.assignWide(u"\u0645\u0631\u06cc\u0645= \r\nbare\nline\rfeed");
    layout.rebuild();
    ASSERT_EQ(layout.lineCount(), 2);
    EXPECT_EQ(layout.lineStart(1), 8);
    EXPECT_EQ(layout.xInLine(0, 4),
              2 * advance(u'\u0645') + advance(u'\u0631') + advance(u'\u06cc'));

    text.clear();
    layout.rebuild();
    EXPECT_EQ(layout.lineCount(), 1);
    EXPECT_EQ(layout.maxLineWidth(), 0);
}

TEST(ReportLayout, AppendedPiecesIndexLikeTheWholeText) {
    ReportText appended;
    ReportText whole;
    ReportLayout byPieces(appended, advance, isWord);
    ReportLayout atOnce(whole, advance, isWord);
    std::string all;
    for (int i = 0; i < 5001; ++i) {
        const std::string hit = "www.site" + std::to_string(i) +
                                ".example.com/path?q=" + std::to_string(i * 7) + "\r\n";
        // Some breaks are split between two appends: the CR ends one piece, the LF starts the next.
        if (i % 3 == 0) {
            appended.append(std::string_view(hit).substr(0, hit.size() - 1));
            byPieces.extend();
            appended.append("\n");
        } else {
            appended.append(hit);
        }
        byPieces.extend();
        all += hit;
    }
    whole.assignBytes(all);
    atOnce.rebuild();
    ASSERT_EQ(byPieces.lineCount(), 5002);
    EXPECT_EQ(byPieces.maxLineWidth(), atOnce.maxLineWidth());
    for (Offset line : {0, 1, 2, 3, 999, 5000, 5001}) {
        EXPECT_EQ(byPieces.lineStart(line), atOnce.lineStart(line)) << line;
        EXPECT_EQ(byPieces.lineEnd(line), atOnce.lineEnd(line)) << line;
        EXPECT_EQ(byPieces.xInLine(line, byPieces.lineEnd(line)),
                  atOnce.xInLine(line, atOnce.lineEnd(line)))
            << line;
    }
}

TEST(ReportLayout, XAndOffsetAgreeAcrossALongLineAndWordsStopAtBreaks) {
    // One line of 100,000 characters crosses many 4096-character blocks.
    std::string line;
    for (int i = 0; line.size() < 100'000; ++i) {
        line += (i % 7 == 0) ? "Wi. " : "item_" + std::to_string(i) + " | ";
    }
    ReportText text;
    text.assignBytes(line + "\r\nnext");
    ReportLayout layout(text, advance, isWord);
    layout.rebuild();
    std::int64_t x = 0;
    for (Offset offset = 0; offset < static_cast<Offset>(line.size()); ++offset) {
        if (offset % 997 == 0 || offset % 4096 == 0 || offset % 4096 == 4095) {
            ASSERT_EQ(layout.xInLine(0, offset), x) << offset;
            ASSERT_EQ(layout.offsetAt(0, x, true), offset) << offset;
            // Just before the character's right edge still covers it; nearest rounds up.
            const std::int32_t width = advance(static_cast<unsigned char>(line[offset]));
            ASSERT_EQ(layout.offsetAt(0, x + width - 1, false), offset) << offset;
            ASSERT_EQ(layout.offsetAt(0, x + width - 1, true), offset + 1) << offset;
        }
        x += advance(static_cast<unsigned char>(line[offset]));
    }
    EXPECT_EQ(layout.maxLineWidth(), x);
    EXPECT_EQ(layout.offsetAt(0, x + 1'000'000, true), layout.lineEnd(0));
    EXPECT_EQ(layout.offsetAt(1, 0, true), layout.lineStart(1));

    // "item_8" is one word; " | " is three words of one character; "next" stops at the break.
    const Offset item = static_cast<Offset>(line.find("item_8 "));
    EXPECT_EQ(layout.wordStart(item + 3), item);
    EXPECT_EQ(layout.wordEnd(item + 3), item + 6);
    EXPECT_EQ(layout.wordEnd(item + 6), item + 7);
    const Offset next = layout.lineStart(1);
    EXPECT_EQ(layout.wordStart(next + 2), next);
    EXPECT_EQ(layout.wordEnd(next), layout.size());
}

// The sparse index against the plain model: line starts found by scanning for CR LF and x as
// the sum of the advances from the line's start, on random texts appended in random pieces.
TEST(ReportLayout, SparseIndexAgreesWithScanningOnRandomTexts) {
    std::mt19937 random(17);
    const auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 12; ++round) {
        std::string all;
        while (all.size() < 60'000) {
            // Mostly short lines, some empty, now and then one across several blocks; bare CRs
            // and LFs inside lines.
            const int length = below(20) == 0 ? 3000 + below(9000) : below(3) == 0 ? 0 : below(40);
            for (int i = 0; i < length; ++i) {
                const int pick = below(60);
                all += pick == 0 ? '\r' : pick == 1 ? '\n' : "iWab._ Z"[pick % 8];
            }
            all += "\r\n";
        }
        all.resize(all.size() - static_cast<std::size_t>(below(3)));

        ReportText text;
        ReportLayout layout(text, advance, isWord);
        for (std::size_t at = 0; at < all.size();) {
            const std::size_t piece = std::min(all.size() - at, std::size_t(1) + below(9000));
            text.append(std::string_view(all).substr(at, piece));
            layout.extend();
            at += piece;
        }

        std::vector<Offset> starts{0};
        for (std::size_t i = 0; i + 1 < all.size(); ++i) {
            if (all[i] == '\r' && all[i + 1] == '\n') {
                starts.push_back(static_cast<Offset>(i + 2));
            }
        }
        ASSERT_EQ(layout.lineCount(), static_cast<Offset>(starts.size()));
        std::int64_t widest = 0;
        Offset line = 0;
        std::int64_t x = 0;
        for (Offset offset = 0; offset <= layout.size(); ++offset) {
            if (line + 1 < static_cast<Offset>(starts.size()) && offset == starts[line + 1]) {
                ++line;
                x = 0;
            }
            ASSERT_EQ(layout.lineOf(offset), line) << round << " " << offset;
            const Offset end = line + 1 < static_cast<Offset>(starts.size()) ? starts[line + 1] - 2
                                                                             : layout.size();
            if (offset == starts[line]) {
                ASSERT_EQ(layout.lineStart(line), offset) << round << " " << line;
                ASSERT_EQ(layout.lineEnd(line), end) << round << " " << line;
            }
            if (offset <= end) {
                if (offset % 61 == 0 || offset == end) {
                    ASSERT_EQ(layout.xInLine(line, offset), x) << round << " " << offset;
                    ASSERT_EQ(layout.offsetAt(line, x, false), offset) << round << " " << offset;
                }
                if (offset < end) {
                    x += advance(static_cast<unsigned char>(all[offset]));
                }
                widest = std::max(widest, x);
            }
        }
        EXPECT_EQ(layout.maxLineWidth(), widest) << round;
    }
}

}  // namespace
