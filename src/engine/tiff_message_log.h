#pragma once

#include <tiffio.h>

#include <string>

namespace folio::engine {

// Collects libtiff's errors for one file through the per-file handlers, so that
// nothing is printed and no process-wide handler is touched. Warnings are dropped.
class TiffMessageLog {
  public:
    TiffMessageLog();
    ~TiffMessageLog();
    TiffMessageLog(const TiffMessageLog&) = delete;
    TiffMessageLog& operator=(const TiffMessageLog&) = delete;

    // Options to pass to TIFF*OpenExt; they route messages here.
    TIFFOpenOptions* Options() const { return options_; }
    // The first error reported since the last Clear(), or "".
    const std::string& FirstError() const { return firstError_; }
    void Clear() { firstError_.clear(); }
    // `fallback` when no error was reported.
    std::string Reason(const std::string& fallback) const;

  private:
    static int OnError(TIFF*, void* self, const char* module, const char* format, va_list args);
    static int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

    TIFFOpenOptions* options_;
    std::string firstError_;
};

}  // namespace folio::engine
