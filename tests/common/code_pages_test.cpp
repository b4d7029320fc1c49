#include "common/code_pages.h"

#include <gtest/gtest.h>

#include <QString>

#include "kestrand/reports/text.h"

namespace {

using common::decodeWindows1252;
using common::encodeWindows1252;

TEST(CodePages, EveryWindows1252ByteDecodesAndEncodesBackToItself) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const auto text = decodeWindows1252(all);
    EXPECT_EQ(text[0x80], u'\u20AC');  // euro sign
    EXPECT_EQ(text[0xE9], u'\u00E9');
    EXPECT_EQ(text[0x81], u'\u0081');
    const auto back = encodeWindows1252(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(CodePages, TextOutsideWindows1252HasNoEncoding) {
    EXPECT_FALSE(encodeWindows1252(u"caf\u00E9 \u06A9").has_value());
    EXPECT_EQ(encodeWindows1252(u"\u20ACuro").value(), "\x80uro");
}

// Both programs read a log byte as the same character: kestrand's engine, which writes UTF-8,
// gives for every byte the UTF-8 (as Qt encodes it) of the character trailscan shows; the same
// for Windows-1256. So does the UTF-8 appender at each length's bounds.
TEST(CodePages, BothProgramsDecodeEveryByteAlike) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const auto utf8 = [](char16_t c) { return QString(QChar(c)).toUtf8().toStdString(); };
        EXPECT_EQ(kestrand::reports::fromWindows1252(byte),
                  utf8(common::windows1252Char(static_cast<unsigned char>(b))))
            << "byte " << b;
        EXPECT_EQ(kestrand::reports::fromWindows1256(byte),
                  utf8(common::windows1256Char(static_cast<unsigned char>(b))))
            << "byte " << b;
    }
    EXPECT_EQ(common::windows1256Char(0x98), u'\u06A9');  // keheh
    for (const char32_t c : {0x7FU, 0x80U, 0x7FFU, 0x800U, 0xFFFFU, 0x10000U, 0x10FFFFU}) {
        std::string out;
        common::appendUtf8(out, c);
        EXPECT_EQ(out, QString::fromUcs4(&c, 1).toUtf8().toStdString()) << std::uint32_t{c};
    }
}

}  // namespace
