#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/raster.h"

namespace folio::engine {

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
