#include "support/raw_tiff_builder.h"

#include <algorithm>

namespace folio::engine::testing {

RawTiffBuilder::RawTiffBuilder() : bytes_{'I', 'I', 42, 0, 0, 0, 0, 0} {}

void RawTiffBuilder::Put32(size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes_[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t RawTiffBuilder::AddData(const std::vector<uint8_t>& bytes) {
    if (bytes_.size() % 2) {
        bytes_.push_back(0);  // directories and values start on a word boundary
    }
    const auto offset = static_cast<uint32_t>(bytes_.size());
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return offset;
}

uint32_t RawTiffBuilder::AddRational(uint32_t numerator, uint32_t denominator) {
    std::vector<uint8_t> bytes(8);
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(numerator >> (8 * i));
        bytes[static_cast<size_t>(i) + 4] = static_cast<uint8_t>(denominator >> (8 * i));
    }
    return AddData(bytes);
}

size_t RawTiffBuilder::AddIfd(std::vector<Tag> tags) {
    std::sort(tags.begin(), tags.end(), [](const Tag& a, const Tag& b) { return a.tag < b.tag; });
    std::vector<uint8_t> ifd(2 + tags.size() * 12 + 4, 0);
    ifd[0] = static_cast<uint8_t>(tags.size());
    ifd[1] = static_cast<uint8_t>(tags.size() >> 8);
    for (size_t i = 0; i < tags.size(); ++i) {
        uint8_t* entry = &ifd[2 + i * 12];
        const Tag& t = tags[i];
        entry[0] = static_cast<uint8_t>(t.tag), entry[1] = static_cast<uint8_t>(t.tag >> 8);
        entry[2] = static_cast<uint8_t>(t.type), entry[3] = static_cast<uint8_t>(t.type >> 8);
        for (int k = 0; k < 4; ++k) {
            entry[4 + k] = static_cast<uint8_t>(t.count >> (8 * k));
            entry[8 + k] = static_cast<uint8_t>(t.value >> (8 * k));
        }
    }
    const uint32_t offset = AddData(ifd);
    if (ifds_.empty()) {
        Put32(4, offset);
    } else {
        SetNext(ifds_.size() - 1, offset);
    }
    ifds_.push_back(offset);
    return ifds_.size() - 1;
}

size_t RawTiffBuilder::AddSimplePage(uint32_t width, uint32_t height, uint16_t bits,
                                     uint16_t compression, const std::vector<uint8_t>& strip,
                                     uint16_t photometric) {
    const uint32_t stripOffset = AddData(strip);
    return AddIfd({Long(256, width), Long(257, height), Short(258, bits), Short(259, compression),
                   Short(262, photometric), Long(273, stripOffset), Short(277, 1),
                   Long(278, height), Long(279, static_cast<uint32_t>(strip.size()))});
}

void RawTiffBuilder::SetNext(size_t index, uint32_t offset) {
    const size_t at = ifds_[index];
    const size_t count = bytes_[at] | (bytes_[at + 1] << 8);
    Put32(at + 2 + count * 12, offset);
}

void RawTiffBuilder::SetFirstIfd(uint32_t offset) {
    Put32(4, offset);
}

}  // namespace folio::engine::testing
