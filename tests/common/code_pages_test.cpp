#include "trailscan/log/code_page.h"

#include <gtest/gtest.h>

namespace {

using trailscan::log::decodeWindows1252;
using trailscan::log::encodeWindows1252;

TEST(CodePage, EveryByteDecodesAndEncodesBackToItself) {
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

TEST(CodePage, TextOutsideTheCodePageHasNoEncoding) {
    EXPECT_FALSE(encodeWindows1252(u"caf\u00E9 \u06A9").has_value());
    EXPECT_EQ(encodeWindows1252(u"\u20ACuro").value(), "\x80uro");
}

}  // namespace
