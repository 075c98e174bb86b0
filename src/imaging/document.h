#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/image_collection.h"

namespace folio::imaging {

// Codes the program passes to SaveAs and PrintOut.
inline constexpr int32_t kFileFormatTiff = 1;
inline constexpr int32_t kCompressionDefault = 1;
inline constexpr int32_t kPrintFitToPage = 1;

// An imaging document: a multi-page file loaded for viewing, turning, exporting
// and printing. Every failing call raises folio::Error naming what was wrong.
class Document {
  public:
    virtual ~Document() = default;

    // Loads the file at `path` into this (fresh) document.
    virtual void Create(const std::u16string& path) = 0;
    // The page collection; raises when no file is loaded.
    virtual std::shared_ptr<ImageCollection> Images() = 0;
    // Closes the document; with `save` false nothing is written.
    virtual void Close(bool save) = 0;
    // Writes every page, as currently turned, to `path`.
    virtual void SaveAs(const std::u16string& path, int32_t fileFormat, int32_t compression) = 0;
    // Prints pages `fromPage`..`toPage` (zero-based; -1 = to the last page) on `printer`.
    virtual void PrintOut(int32_t fromPage, int32_t toPage, int32_t copies,
                          const std::u16string& printer, const std::u16string& printToFileName,
                          bool printAnnotations, int32_t fitMode) = 0;
};

}  // namespace folio::imaging
