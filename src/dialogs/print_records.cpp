// DEVMODE and DEVNAMES encoded and decoded, and the global memory blocks they travel in.
#include "dialogs/print_records.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::dialogs {
namespace {

// DEVMODE offsets.
constexpr size_t kSizeAt = 36;
constexpr size_t kFieldsAt = 40;
constexpr size_t kOrientationAt = 44;
constexpr size_t kCopiesAt = 54;
constexpr size_t kDuplexAt = 62;

template <size_t N>
void Put16(std::array<uint8_t, N>& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

template <size_t N>
void Put32(std::array<uint8_t, N>& bytes, size_t at, uint32_t value) {
    Put16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
    Put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

uint16_t Get16(std::span<const uint8_t> bytes, size_t at) {
    const auto byte = [&](size_t i) -> uint16_t { return i < bytes.size() ? bytes[i] : 0; };
    return static_cast<uint16_t>(byte(at) | (byte(at + 1) << 8));
}

uint32_t Get32(std::span<const uint8_t> bytes, size_t at) {
    return Get16(bytes, at) | (static_cast<uint32_t>(Get16(bytes, at + 2)) << 16);
}

// `text` cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string_view Cut(std::string_view text, size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    size_t end = limit;
    while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

// The text from `at` up to the first NUL before `end`, or up to `end`.
std::string TextAt(std::span<const uint8_t> bytes, size_t at, size_t end) {
    end = std::min(end, bytes.size());
    std::string text;
    for (size_t i = at; i < end && bytes[i] != 0; ++i) {
        text.push_back(static_cast<char>(bytes[i]));
    }
    return text;
}

}  // namespace

DevModeBytes EncodeDevMode(const DevMode& record) {
    DevModeBytes bytes{};
    const std::string_view name = Cut(record.deviceName, kDeviceNameBytes - 1);
    std::copy(name.begin(), name.end(), bytes.begin());
    Put16(bytes, kSizeAt, record.size);
    Put32(bytes, kFieldsAt, record.fields);
    Put16(bytes, kOrientationAt, static_cast<uint16_t>(record.orientation));
    Put16(bytes, kCopiesAt, static_cast<uint16_t>(record.copies));
    Put16(bytes, kDuplexAt, static_cast<uint16_t>(record.duplex));
    return bytes;
}

DevMode DecodeDevMode(std::span<const uint8_t> bytes) {
    DevMode record;
    record.deviceName = TextAt(bytes, 0, kDeviceNameBytes);
    record.size = Get16(bytes, kSizeAt);
    record.fields = Get32(bytes, kFieldsAt);
    record.orientation = static_cast<int16_t>(Get16(bytes, kOrientationAt));
    record.copies = static_cast<int16_t>(Get16(bytes, kCopiesAt));
    record.duplex = static_cast<int16_t>(Get16(bytes, kDuplexAt));
    return record;
}

DevNamesBytes EncodeDevNames(const DevNames& names) {
    // The offsets of the full names, as 16-bit numbers: the overflow a platform
    // record would raise.
    const size_t fullDevice = kDevNamesHeader + 1 + names.driver.size();
    const size_t fullOutput = fullDevice + 1 + names.device.size();
    if (fullOutput > 0x7FFF) {
        throw Error(errors::kOverflow,
                    "Overflow: the printer's names are too long for the printer-names record");
    }
    size_t room = kDevNamesArea - 3;
    const std::string_view device = Cut(names.device, room);
    room -= device.size();
    const std::string_view driver = Cut(names.driver, room);
    room -= driver.size();
    const std::string_view port = Cut(names.port, room);

    DevNamesBytes bytes{};
    std::fill(bytes.begin() + kDevNamesHeader, bytes.end(), static_cast<uint8_t>(' '));
    size_t at = kDevNamesHeader;
    const auto place = [&](std::string_view text) {
        const size_t start = at;
        std::copy(text.begin(), text.end(), bytes.begin() + static_cast<ptrdiff_t>(at));
        at += text.size();
        bytes[at++] = 0;
        return static_cast<uint16_t>(start);
    };
    Put16(bytes, 0, place(driver));
    Put16(bytes, 2, place(device));
    Put16(bytes, 4, place(port));
    Put16(bytes, 6, 0);
    return bytes;
}

DevNames DecodeDevNames(std::span<const uint8_t> bytes) {
    const auto at = [&](size_t field) { return TextAt(bytes, Get16(bytes, field), bytes.size()); };
    return {at(0), at(2), at(4)};
}

std::string DeviceNameAfterFirstNul(std::span<const uint8_t> bytes) {
    const size_t end = std::min(bytes.size(), kDevNamesSize);
    for (size_t i = kDevNamesHeader; i < end; ++i) {
        if (bytes[i] == 0) {
            return TextAt(bytes, i + 1, end);
        }
    }
    return {};
}

GlobalHandle NewBlockWith(GlobalMemory& memory, std::span<const uint8_t> bytes) {
    const GlobalHandle handle = memory.GlobalAlloc(kGlobalMoveable | kGlobalZeroInit, bytes.size());
    if (handle == 0) {
        throw Error(errors::kOutOfMemory, "Out of memory for the print dialog's records");
    }
    if (uint8_t* data = memory.GlobalLock(handle)) {
        std::memcpy(data, bytes.data(), bytes.size());
        memory.GlobalUnlock(handle);
    }
    return handle;
}

std::vector<uint8_t> ReadBlock(GlobalMemory& memory, GlobalHandle handle, size_t size) {
    std::vector<uint8_t> bytes(size, 0);
    if (const uint8_t* data = memory.GlobalLock(handle)) {
        std::memcpy(bytes.data(), data, std::min(size, memory.GlobalSize(handle)));
        memory.GlobalUnlock(handle);
    }
    return bytes;
}

}  // namespace folio::dialogs
