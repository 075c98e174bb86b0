// Export to TIFF: every page, as turned, copied or encoded on worker threads, into
// a file written atomically.

#include "engine/write/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/document/page_source.h"
#include "engine/image/raster_transforms.h"
#include "engine/tiff/tiff_io.h"
#include "engine/write/decode_ahead.h"
#include "engine/write/tiff_output.h"
#include "engine/write/tiff_pages.h"

namespace folio::engine {

namespace {

// Classic TIFF addresses 4 GiB; past this estimate the output is written as BigTIFF.
constexpr uint64_t kClassicLimit = uint64_t{0xF0000000};

struct PagePlan {
    bool copy = false;
    // Left out: known before writing that it cannot be decoded or reached.
    bool skip = false;
    int turns = 0;
    uint64_t decodedBytes = 0;
};

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

// Which pages to copy and which to decode, and whether the output needs BigTIFF;
// fails before anything is written when a page can be neither copied nor decoded,
// unless such pages are to be left out (listed in `skipped`).
std::vector<PagePlan> Plan(const PageSource& source, const TiffSourceFile& file,
                           const ExportFailure& failure, uint64_t& estimate,
                           std::vector<SkippedPage>* skipped) {
    const int count = source.PageCount();
    std::vector<PagePlan> plan(static_cast<size_t>(count));
    // Copied pages together take no more than the whole source file.
    estimate = file.FileSize();
    for (int page = 0; page < count; ++page) {
        PagePlan& p = plan[static_cast<size_t>(page)];
        const PageInfo info = source.Info(page);
        p.turns = NormalQuarterTurns(source.QuarterTurns(page));
        p.decodedBytes = DecodedPageBytes(info);
        // Why the page can be neither copied nor decoded, and the error that says so.
        std::string reason;
        int32_t number = errors::kDamagedFile;
        if (!info.chainBreak.empty()) {
            reason = ChainBreakText(PageName(page), info);
        } else {
            p.copy = file.IsOpen() && MayCopyUnchanged(info, p.turns);
            if (p.copy) {
                continue;
            }
            if (!info.decodable) {
                reason = PageName(page) + " cannot be decoded: " + UndecodableText(info);
                number = errors::kUnsupportedCompression;
            }
        }
        if (!reason.empty()) {
            if (skipped == nullptr) {
                failure.Raise(number, reason);
            }
            p.skip = true;
            skipped->push_back({&source, page, reason});
            continue;
        }
        // G4 can come out larger than the raw bits on noise; other codecs barely grow.
        estimate +=
            (info.IsBilevel() ? p.decodedBytes * 2 : p.decodedBytes + p.decodedBytes / 64) + 4096;
    }
    return plan;
}

// Pages decoded on the calling thread ahead of the one being written, turned and
// compressed on workers meanwhile; pages planned as copies only when asked for,
// pages left out never.
class DecodedPages {
  public:
    DecodedPages(const PageSource& source, const std::vector<PagePlan>& plan)
        : stage_(Pages(plan), [&source, &plan](int page) {
              return Start(source, plan[static_cast<size_t>(page)], page);
          }) {}

    // Raises the page's own folio::Error (not yet naming the target) when it cannot
    // be decoded or compressed: a page decoded ahead fails at its own turn.
    EncodedPage Take(int page) { return stage_.Take(page); }

  private:
    using Stage = DecodeAhead<EncodedPage>;

    static std::vector<Stage::Page> Pages(const std::vector<PagePlan>& plan) {
        std::vector<Stage::Page> pages;
        for (const PagePlan& p : plan) {
            pages.push_back(Stage::Page{p.decodedBytes, !p.copy && !p.skip});
        }
        return pages;
    }

    static Stage::Started Start(const PageSource& source, const PagePlan& plan, int page) {
        std::shared_ptr<const Raster> decoded = source.Decode(page);
        if (!decoded) {
            throw Error(errors::kDamagedFile, PageName(page) + " could not be decoded");
        }
        const PageInfo info = source.Info(page);
        PageResolution resolution{info.xDpi, info.yDpi, info.pixelAspect};
        const int turns = plan.turns;
        if (turns % 2 == 1) {
            std::swap(resolution.xDpi, resolution.yDpi);
            resolution.pixelAspect = resolution.pixelAspect > 0 ? 1.0 / resolution.pixelAspect : 1;
        }
        return {std::nullopt, [decoded = std::move(decoded), turns, resolution, page]() mutable {
                    if (turns % 4 == 0) {
                        return EncodePage(*decoded, resolution, page);
                    }
                    const Raster turned = RotateRaster(*decoded, turns);
                    decoded.reset();
                    return EncodePage(turned, resolution, page);
                }};
    }

    Stage stage_;
};

// Pages found damaged only as they were decoded are missing from the page count
// the pages written before them give: each page's number is written again with
// the count of pages the file holds. Only with pages left out, so rarely.
bool Renumber(TiffOutputFile& output, int count) {
    TIFF* const tif = output.Reopen();
    if (tif == nullptr) {
        return false;
    }
    for (int page = 0; page < count; ++page) {
        if (TIFFSetDirectory(tif, static_cast<tdir_t>(page)) != 1) {
            return false;
        }
        SetPagePosition(tif, PagePosition{page, count});
        if (TIFFRewriteDirectory(tif) != 1) {
            return false;
        }
    }
    return output.Finish();
}

}  // namespace

void WriteTiff(const PageSource& source, const std::filesystem::path& targetPath,
               sys::AtomicFile::Options target, std::vector<SkippedPage>* skipped,
               const Progress& progress) {
    const ExportFailure failure(targetPath);
    const int count = source.PageCount();
    if (count <= 0) {
        failure.Raise(errors::kInvalidFileFormat, "the document has no pages");
    }
    TiffSourceFile file(source.OpenFile());
    uint64_t estimate = 0;
    const size_t skippedBefore = skipped != nullptr ? skipped->size() : 0;
    const std::vector<PagePlan> plan = Plan(source, file, failure, estimate, skipped);
    // The pages the file is to hold, as its pages' numbering says; one found
    // damaged only as it is decoded is left out of the file but not of this count.
    const int outputCount =
        count - static_cast<int>(skipped != nullptr ? skipped->size() - skippedBefore : 0);
    int written = 0;

    AtomicFile temp(targetPath, target);
    TiffMessageLog log;
    TiffOutputFile output(temp.Descriptor(), targetPath, estimate > kClassicLimit, log);
    TIFF* const out = output.Handle();
    if (out == nullptr) {
        failure.Raise(errors::kDeviceIoError, log.Reason("libtiff cannot create the file"));
    }
    DecodedPages decoded(source, plan);
    ReportProgress(progress, 0, count);
    for (int page = 0; page < count; ++page) {
        if (plan[static_cast<size_t>(page)].skip) {
            ReportProgress(progress, page + 1, count);
            continue;
        }
        const PagePosition position{written, outputCount};
        bool done = false;
        errno = 0;
        const bool copy = plan[static_cast<size_t>(page)].copy &&
                          file.SelectPage(source.DirectoryOffset(page)) &&
                          CanCopyUnchanged(file.Handle(), source.Info(page), 0, file.FileSize());
        if (copy) {
            done = CopyPageUnchanged(file, output, source.Info(page), position);
        } else {
            std::optional<EncodedPage> encoded;
            try {
                encoded = decoded.Take(page);
            } catch (const Error& e) {
                if (skipped == nullptr) {
                    failure.Raise(e.Number(), e.Description());
                }
                skipped->push_back({&source, page, e.Description()});
                ReportProgress(progress, page + 1, count);
                continue;
            }
            errno = 0;
            done = WriteEncodedPage(out, *encoded, position);
        }
        if (!done) {
            // A write that failed may have been one gathered for earlier pages.
            const int err = output.Error() != 0 ? output.Error() : errno;
            const std::string fromSource = file.TakeError("the page could not be written");
            failure.RaiseWrite(page, log.Reason(fromSource), err);
        }
        output.PageWritten();
        ++written;
        ReportProgress(progress, page + 1, count);
    }
    if (written == 0) {
        failure.Raise(errors::kDamagedFile, "no page of the document can be decoded");
    }
    errno = 0;
    if (!output.Finish() || !log.FirstError().empty() ||
        (written != outputCount && !Renumber(output, written)) || !log.FirstError().empty()) {
        failure.RaiseWrite(count - 1, log.Reason("the file could not be finished"), errno);
    }
    // Its failure names the target and the step, as opening it does.
    temp.Commit();
}

}  // namespace folio::engine
