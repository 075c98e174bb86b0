#pragma once

// The print dialog's records, DEVMODE and DEVNAMES, in their fixed binary layouts, and
// the global memory blocks they travel in.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/global_memory.h"

namespace folio::dialogs {

// The printer-settings record (DEVMODE) in its 122-byte form: the fields the print
// dialog and this program use, at their fixed little-endian offsets.
inline constexpr size_t kDevModeSize = 122;
inline constexpr size_t kDeviceNameBytes = 32;  // with its terminating NUL
inline constexpr uint32_t kDevModeOrientation = 0x1;
inline constexpr uint32_t kDevModeCopies = 0x100;
inline constexpr uint32_t kDevModeDuplex = 0x1000;

struct DevMode {
    std::string deviceName;  // narrow text; cut to 31 bytes when written
    uint16_t size = 0;
    uint32_t fields = 0;
    int16_t orientation = 0;
    int16_t copies = 0;
    int16_t duplex = 0;

    bool operator==(const DevMode&) const = default;
};

using DevModeBytes = std::array<uint8_t, kDevModeSize>;
DevModeBytes EncodeDevMode(const DevMode& record);
// Reads the fields from `bytes`; bytes missing from a shorter block read as 0.
DevMode DecodeDevMode(std::span<const uint8_t> bytes);

// The printer-names record (DEVNAMES): four 16-bit offsets, counted in bytes from the
// record's start, then a 100-byte area with driver name, device name and output
// port, each ended by a NUL, the rest filled with spaces.
inline constexpr size_t kDevNamesSize = 108;
inline constexpr size_t kDevNamesHeader = 8;
inline constexpr size_t kDevNamesArea = kDevNamesSize - kDevNamesHeader;

struct DevNames {
    std::string driver;
    std::string device;
    std::string port;

    bool operator==(const DevNames&) const = default;
};

using DevNamesBytes = std::array<uint8_t, kDevNamesSize>;
// Raises an overflow error when an offset counted over the full names passes 32767.
// Names that together do not fit the area are cut, the port first, then the driver
// name, then the device name, so that every offset points inside the record at a
// name ended by its NUL.
DevNamesBytes EncodeDevNames(const DevNames& names);
// Follows the offsets; one that points outside `bytes` gives an empty name, and a
// name without its NUL ends with the block.
DevNames DecodeDevNames(std::span<const uint8_t> bytes);
// The device name as the print-dialog routine takes it from a returned block: the
// text in the area after the first NUL up to the next NUL (or the area's end).
std::string DeviceNameAfterFirstNul(std::span<const uint8_t> bytes);

// The blocks the records travel in.

// A new movable, zeroed block holding `bytes`; raises the out-of-memory error when
// none can be had.
GlobalHandle NewBlockWith(GlobalMemory& memory, std::span<const uint8_t> bytes);
// The first `size` bytes of the block; bytes the block does not have (or all of
// them, for a handle that cannot be locked) read as 0.
std::vector<uint8_t> ReadBlock(GlobalMemory& memory, GlobalHandle handle, size_t size);

}  // namespace folio::dialogs
