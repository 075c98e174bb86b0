#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace folio::engine {

// What the first bytes of a file say it is. The .mdi container is a little-endian
// TIFF whose header starts "EP*\0" instead of "II*\0".
enum class ContainerFormat { Tiff, Mdi, Truncated, Unknown };

// Looks at up to the first four bytes of a file (fewer when the file is shorter).
ContainerFormat SniffContainer(const uint8_t* head, size_t size);

// "TIFF" or "MDI".
std::string ContainerName(ContainerFormat format);

}  // namespace folio::engine
