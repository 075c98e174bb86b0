#pragma once

// Area resampling: each output pixel the mean of the source area it covers, with
// rows unpacked into floating-point samples for it.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/image/raster.h"

namespace folio::engine {

// Where the output grid lies over a raster: output pixel (i, j) covers the source
// area [(originX + i) / scaleX, (originX + i + 1) / scaleX) by the same in y, in
// source pixels. Scales are output pixels per source pixel.
struct ResampleGrid {
    double scaleX = 1.0;
    double scaleY = 1.0;
    double originX = 0.0;
    double originY = 0.0;
    int width = 0;
    int height = 0;
};

// Produces exactly the grid's pixels by area averaging: each output pixel is the
// mean of the source area it covers (a box filter with fractional edges), so a
// bilevel page shrinks to gray levels and an enlarged one keeps crisp pixel
// edges. Area outside the page is white. Gray8 for gray and bilevel rasters,
// Argb32 for the rest.
RenderedImage ResampleArea(const Raster& raster, const ResampleGrid& grid);

// Turns part of one raster row into floating-point samples for filtering: one
// gray level (0 black to 255 white) per pixel for gray and bilevel pages, three
// (red, green, blue; 0 to 255) for opaque colour, or four (red, green, blue
// premultiplied by alpha, then alpha) for pages with alpha.
class RowUnpacker {
  public:
    explicit RowUnpacker(const Raster& raster);

    // Whether this raster renders as gray (one value per pixel).
    bool IsGray() const { return gray_; }
    int Channels() const { return gray_ ? 1 : (alpha_ ? 4 : 3); }
    // Writes pixels [x0, x1) of row y to `out` (Channels() floats per pixel).
    void Unpack(uint32_t y, uint32_t x0, uint32_t x1, float* out) const;
    // Adds `weight` times pixels [x0, x1) of row y to `sums`; `scratch` holds
    // Channels() * (x1 - x0) floats.
    void Accumulate(uint32_t y, uint32_t x0, uint32_t x1, float weight, float* sums,
                    float* scratch) const;

  private:
    void UnpackGray(const uint8_t* row, uint32_t x0, uint32_t x1, float* out) const;
    void UnpackColour(const uint8_t* row, uint32_t x0, uint32_t x1, float* out) const;
    float Sample(const uint8_t* row, uint32_t x, uint16_t channel) const;

    const Raster& raster_;
    bool gray_ = true;
    bool alpha_ = false;
    float levels_[256] = {};  // gray level of each sample value, for depths up to 8
    float palette_[3][256] = {};
    // For bilevel rows: the eight gray levels of each byte value.
    std::vector<std::array<float, 8>> byteLevels_;
};

}  // namespace folio::engine
