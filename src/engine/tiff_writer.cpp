#include "engine/tiff_writer.h"

#include <tiffio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/atomic_file.h"
#include "engine/export_progress.h"
#include "engine/raster_rotation.h"
#include "engine/tiff_message_log.h"
#include "engine/tiff_page_copier.h"
#include "engine/tiff_page_encoder.h"
#include "engine/tiff_source_file.h"

namespace folio::engine {
namespace {

// Classic TIFF addresses 4 GiB; past this estimate the output is written as BigTIFF.
constexpr uint64_t kClassicLimit = uint64_t{0xF0000000};

struct PagePlan {
    bool copy = false;
    int turns = 0;
    uint64_t estimatedBytes = 0;
};

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using OutputTiff = std::unique_ptr<TIFF, TiffCloser>;

std::string PageName(int page) {
    return "page " + std::to_string(page + 1);
}

class ExportFailure {
  public:
    explicit ExportFailure(const std::string& target)
        : prefix_("Cannot export to \"" + target + "\": ") {}

    [[noreturn]] void Raise(int32_t number, const std::string& reason) const {
        throw Error(number, prefix_ + reason);
    }
    // A libtiff call failed while writing: says which page and libtiff's reason,
    // and tells a full disk from other failures.
    [[noreturn]] void RaiseWrite(int page, const std::string& reason, int err) const {
        std::string text = PageName(page) + ": " + reason;
        if (err == ENOSPC || err == EFBIG || err == EDQUOT || err == EIO) {
            text += " (" + std::string(std::strerror(err)) + ")";
        }
        Raise(err == ENOSPC || err == EDQUOT ? errors::kDiskFull : errors::kDeviceIoError, text);
    }

  private:
    std::string prefix_;
};

uint64_t DecodedBytes(const PageInfo& info) {
    return (uint64_t{info.width} * info.bitsPerSample * info.samplesPerPixel + 7) / 8 * info.height;
}

std::vector<PagePlan> Plan(const PageSource& source, TiffSourceFile& file,
                           const ExportFailure& failure) {
    const int count = source.PageCount();
    std::vector<PagePlan> plan(static_cast<size_t>(count));
    for (int page = 0; page < count; ++page) {
        PagePlan& p = plan[static_cast<size_t>(page)];
        const PageInfo info = source.Info(page);
        p.turns = ((source.QuarterTurns(page) % 4) + 4) % 4;
        p.copy = file.SelectPage(source.DirectoryOffset(page)) &&
                 CanCopyUnchanged(file.Handle(), p.turns, file.FileSize());
        if (p.copy) {
            p.estimatedBytes = CompressedBytes(file.Handle()) + 4096;
            continue;
        }
        if (!info.decodable) {
            failure.Raise(errors::kUnsupportedCompression,
                          PageName(page) + " uses compression " + info.compressionName + " (" +
                              std::to_string(info.compression) + "), which cannot be decoded");
        }
        // G4 can come out larger than the raw bits on noise; other codecs barely grow.
        const uint64_t raw = DecodedBytes(info);
        p.estimatedBytes = (info.IsBilevel() ? raw * 2 : raw + raw / 64) + 4096;
    }
    return plan;
}

void EncodeDecoded(const PageSource& source, int page, const PagePlan& plan, TIFF* out,
                   PagePosition position, const TiffMessageLog& log, const ExportFailure& failure) {
    std::shared_ptr<const Raster> decoded;
    try {
        decoded = source.Decode(page);
    } catch (const Error& e) {
        failure.Raise(e.Number(), e.Description());
    }
    if (!decoded) {
        failure.Raise(errors::kDamagedFile, PageName(page) + " could not be decoded");
    }
    const PageInfo info = source.Info(page);
    PageResolution resolution{info.xDpi, info.yDpi};
    Raster turned;
    const Raster* pixels = decoded.get();
    if (plan.turns != 0) {
        turned = RotateRaster(*decoded, plan.turns);
        decoded.reset();
        pixels = &turned;
        if (plan.turns % 2 == 1) {
            std::swap(resolution.xDpi, resolution.yDpi);
        }
    }
    errno = 0;
    try {
        if (!EncodePage(out, *pixels, resolution, position)) {
            failure.RaiseWrite(page, log.Reason("the page could not be written"), errno);
        }
    } catch (const Error& e) {
        failure.Raise(e.Number(), e.Description());
    }
}

}  // namespace

void WriteTiff(const PageSource& source, const std::string& targetPath) {
    const ExportFailure failure(targetPath);
    const int count = source.PageCount();
    if (count <= 0) {
        failure.Raise(errors::kInvalidFileFormat, "the document has no pages");
    }
    TiffSourceFile file(source.FilePath());
    const std::vector<PagePlan> plan = Plan(source, file, failure);
    uint64_t estimate = 0;
    for (const PagePlan& p : plan) {
        estimate += p.estimatedBytes;
    }

    AtomicFile temp(targetPath);
    const int fd = ::dup(temp.Descriptor());
    if (fd < 0) {
        failure.Raise(errors::kDeviceIoError, std::strerror(errno));
    }
    TiffMessageLog log;
    OutputTiff out(TIFFFdOpenExt(fd, targetPath.c_str(), estimate > kClassicLimit ? "w8" : "w",
                                 log.Options()));
    if (!out) {
        ::close(fd);
        failure.Raise(errors::kDeviceIoError, log.Reason("libtiff cannot create the file"));
    }
    for (int page = 0; page < count; ++page) {
        const PagePlan& p = plan[static_cast<size_t>(page)];
        const PagePosition position{page, count};
        if (p.copy) {
            errno = 0;
            if (!file.SelectPage(source.DirectoryOffset(page)) ||
                !CopyPageUnchanged(file.Handle(), out.get(), position)) {
                const int err = errno;
                failure.RaiseWrite(page, log.Reason(file.TakeError("its data could not be copied")),
                                   err);
            }
        } else {
            EncodeDecoded(source, page, p, out.get(), position, log, failure);
        }
        ScopedExportProgress::Report(page + 1, count);
    }
    errno = 0;
    if (TIFFFlush(out.get()) != 1 || !log.FirstError().empty()) {
        failure.RaiseWrite(count - 1, log.Reason("the file could not be finished"), errno);
    }
    out.reset();
    try {
        temp.Commit();
    } catch (const Error& e) {
        throw Error(e.Number(), "Cannot export: " + e.Description());
    }
}

}  // namespace folio::engine
