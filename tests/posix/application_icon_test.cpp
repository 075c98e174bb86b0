#include "application_icon.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace folio::resources {
namespace {

std::uint32_t BigEndian32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

unsigned LittleEndian16(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) |
           (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8);
}

TEST(ApplicationIconTest, EveryPngIsTheSizeItIsListedAs) {
    std::vector<int> sizes;
    for (const auto& [size, bytes] : ApplicationIconFiles()) {
        if (size == 0) {
            EXPECT_NE(bytes.find("<svg"), std::string_view::npos);
            continue;
        }
        sizes.push_back(size);
        ASSERT_GT(bytes.size(), 24u);
        EXPECT_EQ(bytes.substr(0, 8), std::string_view("\x89PNG\r\n\x1a\n", 8));
        EXPECT_EQ(BigEndian32(bytes, 16), static_cast<std::uint32_t>(size));  // IHDR width
        EXPECT_EQ(BigEndian32(bytes, 20), static_cast<std::uint32_t>(size));  // and height
        EXPECT_EQ(ApplicationIconPng(size), bytes);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 22, 24, 32, 48, 64, 128, 256}));
    EXPECT_TRUE(ApplicationIconPng(17).empty());
    EXPECT_EQ(ApplicationIconSvg(), ApplicationIconFiles().front().second);
}

TEST(ApplicationIconTest, TheIcoHoldsTheEightImagesAtTheirColourDepths) {
    const std::string_view ico = ApplicationIconIco();
    ASSERT_GE(ico.size(), 6u + 8 * 16);
    EXPECT_EQ(LittleEndian16(ico, 2), 1u);  // icon, not cursor
    ASSERT_EQ(LittleEndian16(ico, 4), 8u);
    struct Image {
        unsigned size;
        unsigned bits;
        bool operator==(const Image&) const = default;
    };
    std::vector<Image> images;
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t entry = 6 + 16 * i;
        const unsigned width = static_cast<unsigned char>(ico[entry]);
        const unsigned bits = LittleEndian16(ico, entry + 6);
        const std::uint32_t offset = static_cast<unsigned char>(ico[entry + 12]) |
                                     static_cast<unsigned char>(ico[entry + 13]) << 8 |
                                     static_cast<unsigned char>(ico[entry + 14]) << 16;
        ASSERT_LT(offset + 16u, ico.size());
        // The bitmap header agrees with the directory: same width, same depth.
        EXPECT_EQ(static_cast<unsigned char>(ico[offset]), 40u);
        EXPECT_EQ(static_cast<unsigned char>(ico[offset + 4]), width);
        EXPECT_EQ(LittleEndian16(ico, offset + 14), bits);
        images.push_back({width, bits});
    }
    EXPECT_EQ(images,
              (std::vector<Image>{
                  {16, 4}, {32, 4}, {16, 8}, {32, 8}, {48, 8}, {16, 24}, {32, 24}, {48, 24}}));
}

}  // namespace
}  // namespace folio::resources
