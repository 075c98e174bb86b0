#include "support/test_document.h"

#include <algorithm>
#include <vector>

namespace folio::viewer::testing {
namespace {

constexpr uint16_t kMinIsWhite = 0;
constexpr uint16_t kMinIsBlack = 1;
constexpr uint16_t kCompressionNone = 1;
constexpr uint16_t kCompressionG4 = 4;

engine::testing::TestPage Bilevel(uint32_t width, uint32_t height, double dpi) {
    engine::testing::TestPage page;
    page.width = width;
    page.height = height;
    page.bitsPerSample = 1;
    page.samplesPerPixel = 1;
    page.photometric = kMinIsWhite;  // a set bit is black
    page.compression = kCompressionNone;
    page.xResolution = dpi;
    page.yResolution = dpi;
    page.pixels.assign(page.RowBytes() * height, 0);
    return page;
}

void SetBlack(engine::testing::TestPage& page, uint32_t x, uint32_t y) {
    page.pixels[page.RowBytes() * y + x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
}

void FillBlack(engine::testing::TestPage& page, uint32_t x0, uint32_t y0, uint32_t w, uint32_t h) {
    for (uint32_t y = y0; y < std::min(page.height, y0 + h); ++y) {
        for (uint32_t x = x0; x < std::min(page.width, x0 + w); ++x) {
            SetBlack(page, x, y);
        }
    }
}

}  // namespace

engine::testing::TestPage TextLikePage(uint32_t width, uint32_t height, double dpi, uint32_t seed) {
    engine::testing::TestPage page = Bilevel(width, height, dpi);
    page.compression = kCompressionG4;
    const uint32_t margin = width / 12;
    const uint32_t lineHeight = std::max(4u, height / 55);
    const uint32_t glyph = std::max(2u, lineHeight / 2);
    FillBlack(page, margin, margin, width / 2, lineHeight);  // the heading
    uint32_t state = seed * 2654435761u + 1;
    for (uint32_t y = margin + 3 * lineHeight; y + lineHeight < height - margin; y += lineHeight) {
        uint32_t x = margin;
        while (x < width - margin) {
            state = state * 1103515245u + 12345u;
            const uint32_t word = glyph * (2 + (state >> 16) % 8);
            if (x + word > width - margin) {
                break;
            }
            FillBlack(page, x, y, word, glyph);
            x += word + glyph;
        }
    }
    return page;
}

engine::testing::TestPage StripedPage(uint32_t width, uint32_t height, double dpi) {
    engine::testing::TestPage page = Bilevel(width, height, dpi);
    for (uint32_t y = 0; y < height; y += 2) {
        std::fill_n(page.pixels.begin() + static_cast<std::ptrdiff_t>(page.RowBytes() * y),
                    page.RowBytes(), uint8_t{0xFF});
    }
    return page;
}

engine::testing::TestPage SquarePage(uint32_t width, uint32_t height, double dpi, uint32_t x,
                                     uint32_t y, uint32_t side) {
    engine::testing::TestPage page;
    page.width = width;
    page.height = height;
    page.bitsPerSample = 8;
    page.samplesPerPixel = 1;
    page.photometric = kMinIsBlack;
    page.compression = kCompressionNone;
    page.xResolution = dpi;
    page.yResolution = dpi;
    page.pixels.assign(page.RowBytes() * height, 0xFF);
    for (uint32_t row = y; row < std::min(height, y + side); ++row) {
        for (uint32_t col = x; col < std::min(width, x + side); ++col) {
            page.pixels[page.RowBytes() * row + col] = 0;
        }
    }
    return page;
}

void WriteTextDocument(const std::string& path, int pages, uint32_t width, uint32_t height,
                       double dpi) {
    std::vector<engine::testing::TestPage> layouts;
    layouts.reserve(static_cast<size_t>(pages));
    for (int i = 0; i < pages; ++i) {
        layouts.push_back(TextLikePage(width, height, dpi, static_cast<uint32_t>(i) + 1));
    }
    engine::testing::WriteTiffFile(path, layouts);
}

}  // namespace folio::viewer::testing
