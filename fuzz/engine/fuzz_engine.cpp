// Opens arbitrary bytes as a document, decodes every page and renders a small
// rectangle of each, shrunk, enlarged and turned. Only folio::Error may come out.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/error.h"
#include "engine/document/engine_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using folio::engine::EngineDocument;
    // Small limits keep each input quick; the logic is the same at any size.
    EngineDocument document(size_t{8} << 20);
    document.SetDecodeLimit(size_t{16} << 20);
    try {
        document.OpenBytes(std::vector<uint8_t>(data, data + size), "fuzz.mdi");
    } catch (const folio::Error&) {
        return 0;
    }
    const int pages = std::min(document.PageCount(), 16);
    for (int page = 0; page < pages; ++page) {
        try {
            document.Info(page);
            document.Decode(page);
            document.Render(page, 0.37, 0.41, 96.0, 96.0, {0, 0, 48, 40});
            document.RotatePage(page, 90);
            document.Render(page, 3.0, 3.0, 96.0, 96.0, {5, 7, 24, 24});
            document.ShownSize(page, 1.0, 1.0, 96.0, 96.0);
        } catch (const folio::Error&) {
        }
    }
    return 0;
}
