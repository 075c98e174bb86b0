#include "export/fake_page_source.h"

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/tiff/tiff_io.h"
#include "support/raster_oracle.h"
#include "support/tiff_readback.h"

namespace folio::engine::testing {

std::unique_ptr<TiffFile> FakePageSource::OpenFile() const {
    if (path_.empty()) {
        return nullptr;
    }
    try {
        return TiffFile::Open(path_, path_);
    } catch (const Error&) {
        return nullptr;
    }
}

FakePage PageFromLayout(const TestPage& layout) {
    FakePage page;
    page.raster = RasterFromTestPage(layout);
    page.info.width = layout.width;
    page.info.height = layout.height;
    page.info.xDpi = layout.xResolution;
    page.info.yDpi = layout.yResolution;
    page.info.photometric = layout.photometric;
    page.info.bitsPerSample = layout.bitsPerSample;
    page.info.samplesPerPixel = layout.samplesPerPixel;
    page.info.compression = layout.compression;
    page.info.orientation = layout.orientation == 0 ? 1 : layout.orientation;
    page.info.planarConfig = layout.planarConfig;
    page.info.tiled = layout.tiled;
    return page;
}

FakePageSource::FakePageSource(const std::string& path, const std::vector<TestPage>& layouts)
    : path_(path) {
    const std::vector<ReadBackPage> read = ReadBack(path);
    for (size_t i = 0; i < layouts.size(); ++i) {
        FakePage page = PageFromLayout(layouts[i]);
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
