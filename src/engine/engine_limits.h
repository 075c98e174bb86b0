#pragma once

#include <cstddef>
#include <cstdint>

namespace folio::engine {

// Sanity limits against hostile or broken files. Real documents stay far below
// them: an A0 page at 600 dpi in 24-bit colour is about 1.4 GiB and is the kind
// of page we refuse; an A3 page at 600 dpi gray is 70 MiB.
inline constexpr size_t kMaxDecodedPageBytes = size_t{1} << 30;
// The largest single allocation libtiff may make for one file.
inline constexpr int64_t kMaxLibtiffAllocation = int64_t{1} << 30;
// More pages than this is a broken or hostile page chain.
inline constexpr int kMaxPages = 100000;
// The largest rectangle one render call may produce, in pixels (256 MiB of
// colour): a whole A4 page at 600 dpi fits, with room to spare.
inline constexpr int64_t kMaxRenderPixels = int64_t{1} << 26;

}  // namespace folio::engine
