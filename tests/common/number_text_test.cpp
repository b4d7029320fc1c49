#include "common/number_text.h"

#include <gtest/gtest.h>

namespace {

TEST(NumberText, GroupsDigitsAndNamesSizesInBinaryMultiples) {
    EXPECT_EQ(common::grouped(0), "0");
    EXPECT_EQ(common::grouped(999), "999");
    EXPECT_EQ(common::grouped(91332), "91,332");
    EXPECT_EQ(common::grouped(4411023), "4,411,023");
    const struct {
        std::uint64_t bytes;
        const char* text;
    } sizes[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {100, "100 bytes"},
        {1023, "1,023 bytes"},
        {1024, "1 KiB"},
        {1536, "1.5 KiB"},
        {3000, "2.9 KiB"},
        {std::uint64_t{1} << 20, "1 MiB"},
        {(std::uint64_t{1} << 20) - 1, "1.0 MiB"},  // 1023.999 KiB rounds into the next unit
        {std::uint64_t{256} << 20, "256 MiB"},
        {(std::uint64_t{256} << 20) + 1, "256.0 MiB"},
        {1'200'000'000, "1.1 GiB"},
        {4'300'000'000, "4.0 GiB"},
        {std::uint64_t{3} << 40, "3 TiB"},
        {std::uint64_t{1} << 63, "8 EiB"},
        {~std::uint64_t{0}, "16.0 EiB"},
    };
    for (const auto& size : sizes) {
        EXPECT_EQ(common::sizeText(size.bytes), size.text) << size.bytes;
    }
}

}  // namespace
