#include "dialogs/print_records.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::dialogs {
namespace {

uint16_t At16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

TEST(DevModeRecord, FieldsSitAtTheirLittleEndianOffsets) {
    const DevModeBytes bytes = EncodeDevMode({"Office", 122, 0x1001, 2, 3, -1});
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 7), std::string("Office\0", 7));
    EXPECT_EQ(At16(bytes, 36), 122);
    EXPECT_EQ(At16(bytes, 40), 0x1001);
    EXPECT_EQ(At16(bytes, 42), 0);
    EXPECT_EQ(At16(bytes, 44), 2);
    EXPECT_EQ(At16(bytes, 54), 3);
    EXPECT_EQ(At16(bytes, 62), 0xFFFF);
    EXPECT_EQ(DecodeDevMode(bytes), (DevMode{"Office", 122, 0x1001, 2, 3, -1}));
    // A block shorter than the record reads its missing fields as 0.
    EXPECT_EQ(DecodeDevMode(std::span(bytes).first(50)), (DevMode{"Office", 122, 0x1001, 2, 0, 0}));
}

TEST(DevModeRecord, LongDeviceNameKeeps31BytesAndItsNulWithoutSplittingACharacter) {
    const DevModeBytes ascii = EncodeDevMode({std::string(40, 'q'), 122, 0, 0, 0, 0});
    EXPECT_EQ(DecodeDevMode(ascii).deviceName, std::string(31, 'q'));
    EXPECT_EQ(ascii[31], 0);
    std::string accented;
    for (int i = 0; i < 20; ++i) {
        accented += "\xC3\xA9";  // é
    }
    EXPECT_EQ(DecodeDevMode(EncodeDevMode({accented, 122, 0, 0, 0, 0})).deviceName,
              accented.substr(0, 30));
}

TEST(DevNamesRecord, OffsetsPointAtTheNamesAndTheRestIsSpaces) {
    const DevNamesBytes bytes = EncodeDevNames({"drv", "Office", "LPT1:"});
    EXPECT_EQ(At16(bytes, 0), 8);
    EXPECT_EQ(At16(bytes, 2), 12);
    EXPECT_EQ(At16(bytes, 4), 19);
    EXPECT_EQ(At16(bytes, 6), 0);
    const std::string area(bytes.begin() + 8, bytes.end());
    EXPECT_EQ(area, std::string("drv\0Office\0LPT1:\0", 17) + std::string(83, ' '));
    EXPECT_EQ(DecodeDevNames(bytes), (DevNames{"drv", "Office", "LPT1:"}));
    EXPECT_EQ(DeviceNameAfterFirstNul(bytes), "Office");
}

TEST(DevNamesRecord, NamesTooLongForTheAreaAreCutWithEveryOffsetInside) {
    const DevNamesBytes bytes =
        EncodeDevNames({std::string(30, 'd'), std::string(150, 'v'), std::string(9, 'p')});
    for (size_t field : {0, 2, 4}) {
        EXPECT_LT(At16(bytes, field), bytes.size()) << field;
    }
    const DevNames names = DecodeDevNames(bytes);
    EXPECT_EQ(names.device, std::string(97, 'v')) << "the device name is kept first";
    EXPECT_EQ(names.driver, "");
    EXPECT_EQ(names.port, "");
    EXPECT_EQ(DeviceNameAfterFirstNul(bytes), std::string(97, 'v'));

    const DevNames shared = DecodeDevNames(
        EncodeDevNames({std::string(30, 'd'), std::string(60, 'v'), std::string(9, 'p')}));
    EXPECT_EQ(shared, (DevNames{std::string(30, 'd'), std::string(60, 'v'), std::string(7, 'p')}));
}

TEST(DevNamesRecord, OffsetBeyond32767Overflows) {
    try {
        EncodeDevNames({std::string(32760, 'd'), "Office", ""});
        FAIL() << "no overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kOverflow);
    }
    EXPECT_NO_THROW(EncodeDevNames({std::string(32700, 'd'), "Office", ""}));
}

TEST(DevNamesRecord, DamagedBlocksAreReadWithinTheirBounds) {
    DevNamesBytes bytes{};
    bytes[8] = 'a';
    bytes[9] = 0;
    std::fill(bytes.begin() + 10, bytes.end(), 'b');  // no NUL after the device name
    bytes[2] = 0xF4;                                  // device offset 500
    bytes[3] = 0x01;
    EXPECT_EQ(DeviceNameAfterFirstNul(bytes), std::string(98, 'b'));
    EXPECT_EQ(DecodeDevNames(bytes).device, "");
    EXPECT_EQ(DeviceNameAfterFirstNul(std::span(bytes).first(20)), std::string(10, 'b'));
    EXPECT_EQ(DeviceNameAfterFirstNul(std::span(bytes).first(4)), "");
}

}  // namespace
}  // namespace folio::dialogs
