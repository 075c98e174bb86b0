#include "engine/container_format.h"

#include <array>
#include <cstring>

namespace folio::engine {
namespace {

struct Magic {
    std::array<uint8_t, 4> bytes;
    ContainerFormat format;
};

constexpr Magic kMagics[] = {
    {{'I', 'I', 42, 0}, ContainerFormat::Tiff},  // little-endian classic
    {{'M', 'M', 0, 42}, ContainerFormat::Tiff},  // big-endian classic
    {{'I', 'I', 43, 0}, ContainerFormat::Tiff},  // little-endian BigTIFF
    {{'M', 'M', 0, 43}, ContainerFormat::Tiff},  // big-endian BigTIFF
    {{'E', 'P', 42, 0}, ContainerFormat::Mdi},
};

}  // namespace

ContainerFormat SniffContainer(const uint8_t* head, size_t size) {
    const size_t n = size < 4 ? size : 4;
    for (const auto& magic : kMagics) {
        if (n > 0 && std::memcmp(head, magic.bytes.data(), n) == 0) {
            return n == 4 ? magic.format : ContainerFormat::Truncated;
        }
    }
    return ContainerFormat::Unknown;
}

std::string ContainerName(ContainerFormat format) {
    return format == ContainerFormat::Mdi ? "MDI" : "TIFF";
}

}  // namespace folio::engine
