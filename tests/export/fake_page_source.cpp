#include "export/fake_page_source.h"

#include "common/error.h"
#include "common/error_numbers.h"
#include "export/raster_oracle.h"
#include "export/tiff_readback.h"

namespace folio::engine::testing {

FakePage PageFromSpec(const PageSpec& spec) {
    FakePage page;
    page.raster = RasterFromSpec(spec);
    page.info.width = spec.width;
    page.info.height = spec.height;
    page.info.xDpi = spec.xResolution;
    page.info.yDpi = spec.yResolution;
    page.info.photometric = spec.photometric;
    page.info.bitsPerSample = spec.bitsPerSample;
    page.info.samplesPerPixel = spec.samplesPerPixel;
    page.info.compression = spec.compression;
    page.info.orientation = spec.orientation == 0 ? 1 : spec.orientation;
    page.info.planarConfig = spec.planarConfig;
    page.info.tiled = spec.tiled;
    return page;
}

FakePageSource::FakePageSource(const std::string& path, const std::vector<PageSpec>& specs)
    : path_(path) {
    const std::vector<ReadBackPage> read = ReadBack(path);
    for (size_t i = 0; i < specs.size(); ++i) {
        FakePage page = PageFromSpec(specs[i]);
        page.directoryOffset = read.at(i).directoryOffset;
        pages_.push_back(std::move(page));
    }
}

std::shared_ptr<const Raster> FakePageSource::Decode(int page) const {
    ++decodeCalls_;
    const FakePage& p = pages_.at(static_cast<size_t>(page));
    if (p.failDecode || !p.info.decodable) {
        throw Error(errors::kUnsupportedCompression,
                    "page " + std::to_string(page + 1) + " cannot be decoded");
    }
    return std::make_shared<Raster>(p.raster);
}

}  // namespace folio::engine::testing
