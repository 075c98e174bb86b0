#include "engine/tiff_message_log.h"

#include <cstdarg>
#include <cstdio>

#include "engine/engine_limits.h"

namespace folio::engine {

TiffMessageLog::TiffMessageLog() : options_(TIFFOpenOptionsAlloc()) {
    TIFFOpenOptionsSetErrorHandlerExtR(options_, &TiffMessageLog::OnError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options_, &TiffMessageLog::OnWarning, this);
    // Refuse absurd single allocations.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options_, kMaxLibtiffAllocation);
}

TiffMessageLog::~TiffMessageLog() {
    TIFFOpenOptionsFree(options_);
}

std::string TiffMessageLog::Reason(const std::string& fallback) const {
    return firstError_.empty() ? fallback : firstError_;
}

int TiffMessageLog::OnError(TIFF*, void* self, const char* module, const char* format,
                            va_list args) {
    auto* log = static_cast<TiffMessageLog*>(self);
    if (log->firstError_.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        log->firstError_ = text;
        if (log->firstError_.empty() && module != nullptr) {
            log->firstError_ = module;
        }
    }
    return 1;
}

}  // namespace folio::engine
