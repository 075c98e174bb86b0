#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace folio::engine::testing {

// Builds little-endian classic TIFF bytes by hand, for files libtiff would refuse
// to write: page chains that loop, offsets past the end, absurd sizes.
class RawTiffBuilder {
  public:
    struct Tag {
        uint16_t tag;
        uint16_t type;  // 3 SHORT, 4 LONG, 5 RATIONAL
        uint32_t count;
        uint32_t value;  // the value itself (count 1, SHORT/LONG) or an offset
    };

    static Tag Short(uint16_t tag, uint16_t value) { return {tag, 3, 1, value}; }
    static Tag Long(uint16_t tag, uint32_t value) { return {tag, 4, 1, value}; }

    RawTiffBuilder();

    // Appends raw bytes and returns their offset.
    uint32_t AddData(const std::vector<uint8_t>& bytes);
    // Appends a RATIONAL and returns its offset.
    uint32_t AddRational(uint32_t numerator, uint32_t denominator);
    // Appends a page directory (tags sorted here) chained after the previous one;
    // returns its index.
    size_t AddIfd(std::vector<Tag> tags);
    // A one-strip page: width, height, bits, compression, photometric and the
    // strip's bytes (whatever their length).
    size_t AddSimplePage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression,
                         const std::vector<uint8_t>& strip, uint16_t photometric = 1);

    uint32_t IfdOffset(size_t index) const { return ifds_[index]; }
    // Overrides where a directory's "next" pointer leads (a loop, past the end).
    void SetNext(size_t index, uint32_t offset);
    void SetFirstIfd(uint32_t offset);

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    void Put32(size_t at, uint32_t value);

    std::vector<uint8_t> bytes_;
    std::vector<uint32_t> ifds_;
};

}  // namespace folio::engine::testing
