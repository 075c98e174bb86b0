#pragma once

#include <cstdint>
#include <string>

namespace folio::app {

// The publisher named in the About box's credit line.
inline constexpr char16_t kPublisher[] = u"FolioLens developers";

// The About box's text for the program version major.minor.revision.
std::u16string AboutText(int32_t major, int32_t minor, int32_t revision);

// The donation page: the build's page address with its cmd, business and return keys,
// then the item, currency and shipping keys, the item name's spaces as they are.
std::u16string DonationAddress(const std::u16string& head);

}  // namespace folio::app
