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
#include "engine/tiff/located_error.h"
#include "engine/tiff/tiff_io.h"
#include "engine/write/decode_ahead.h"
#include "engine/write/output_failure.h"
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

// Why a libtiff call on the output failed, as far as the system says: a write's
// own error, or errno when it tells of the storage (libtiff may leave anything
// else there); 0 when nothing is known.
int StorageError(const TiffOutputFile& output) {
    if (output.Error() != 0) {
        return output.Error();
    }
    const int err = errno;
    return err == ENOSPC || err == EFBIG || err == EDQUOT || err == EIO ? err : 0;
}

// Which pages to copy and which to decode, and whether the output needs BigTIFF;
// fails before anything is written when a page can be neither copied nor decoded,
// unless such pages are to be left out (listed in `skipped`).
std::vector<PagePlan> Plan(const PageSource& source, const TiffSourceFile& file,
                           const OutputFailure& failure, uint64_t& estimate,
                           std::vector<SkippedPage>* skipped) {
    const int count = source.PageCount();
    std::vector<PagePlan> plan(static_cast<size_t>(count));
    // Copied pages together take no more than the whole source file.
    estimate = file.FileSize();
    for (int page = 0; page < count; ++page) {
        PagePlan& p = plan[static_cast<size_t>(page)];
        const PageInfo info = source.Info(page);
        p.turns = NormalQuarterTurns(source.QuarterTurns(page));
        p.decodedBytes = info.DecodedBytes();
        // Why the page can be neither copied nor decoded, and the error that says so.
        std::string reason;
        int32_t number = errors::kDamagedFile;
        if (!info.chainBreak.empty()) {
            reason = ChainBreakReason(info);
        } else {
            p.copy = file.IsOpen() && MayCopyUnchanged(info, p.turns);
            if (p.copy) {
                continue;
            }
            if (!info.decodable) {
                reason = UndecodableReason(info);
                number = errors::kUnsupportedCompression;
            }
        }
        if (!reason.empty()) {
            if (skipped == nullptr) {
                failure.Raise(number, PageName(page) + ": " + reason);
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

using EncodeAhead = DecodeAhead<EncodedPage>;

// What the stage is to start: pages planned as copies only when asked for (one that
// cannot be copied after all) or, being verified, decoded on workers and let go;
// pages left out never.
std::vector<EncodeAhead::Page> StagePages(const std::vector<PagePlan>& plan, bool verify) {
    std::vector<EncodeAhead::Page> pages;
    for (const PagePlan& p : plan) {
        pages.push_back(EncodeAhead::Page{p.decodedBytes, !p.skip && (!p.copy || verify)});
    }
    return pages;
}

// Decodes the page here and leaves turning and compressing it to a worker; for a
// page planned as a copy and verified, only the verification, on a worker.
EncodeAhead::Started StartEncoding(const PageSource& source, const PagePlan& plan, int page,
                                   bool verifyOnly) {
    if (verifyOnly) {
        return {std::nullopt, [&source, page] {
                    source.Verify(page);
                    return EncodedPage{};
                }};
    }
    std::shared_ptr<const Raster> decoded = source.Decode(page);
    if (!decoded) {
        throw LocatedError(errors::kDamagedFile, PageName(page), "it could not be decoded");
    }
    const int turns = plan.turns;
    const PageResolution resolution = ResolutionOf(source.Info(page), turns % 2 == 1);
    return {std::nullopt, [decoded = std::move(decoded), turns, resolution, page]() mutable {
                if (turns % 4 == 0) {
                    return EncodePage(*decoded, resolution, page);
                }
                const Raster turned = RotateRaster(*decoded, turns);
                decoded.reset();
                return EncodePage(turned, resolution, page);
            }};
}

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
               DamageChecks checks, const Progress& progress) {
    const OutputFailure failure("Cannot export to \"" + targetPath.string() + "\"");
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

    sys::AtomicFile temp;
    failure.Open(temp, targetPath, target);
    TiffMessageLog log;
    TiffOutputFile output(temp.Handle(), targetPath, estimate > kClassicLimit, log);
    TIFF* const out = output.Handle();
    if (out == nullptr) {
        failure.Raise(errors::kDeviceIoError, log.Reason("libtiff cannot create the file"));
    }
    // A page's own folio::Error (not yet naming the target) comes at its own turn.
    EncodeAhead stage(StagePages(plan, checks.verify),
                      [&source, &plan, verify = checks.verify](int page) {
                          const PagePlan& p = plan[static_cast<size_t>(page)];
                          return StartEncoding(source, p, page, verify && p.copy);
                      });
    ReportProgress(progress, 0, count);
    for (int page = 0; page < count; ++page) {
        const PagePlan& p = plan[static_cast<size_t>(page)];
        if (p.skip) {
            ReportProgress(progress, page + 1, count);
            continue;
        }
        const PagePosition position{written, outputCount};
        const bool verified = checks.verify && p.copy;
        std::optional<EncodedPage> encoded;
        try {
            if (verified) {
                stage.Take(page);
            }
            const bool copy =
                p.copy && file.SelectPage(source.DirectoryOffset(page)) &&
                CanCopyUnchanged(file.Handle(), source.Info(page), 0, file.FileSize());
            if (!copy) {
                encoded =
                    verified ? StartEncoding(source, p, page, false).finish() : stage.Take(page);
            }
        } catch (const Error& e) {
            if (skipped == nullptr) {
                failure.Raise(e.Number(), e.Description());
            }
            skipped->push_back({&source, page, ReasonOf(e)});
            ReportProgress(progress, page + 1, count);
            continue;
        }
        if (const std::string damage = source.Info(page).damage; checks.strict && !damage.empty()) {
            failure.Raise(errors::kDamagedFile, PageName(page) + " is damaged: " + damage);
        }
        errno = 0;
        const bool done = encoded ? WriteEncodedPage(out, *encoded, position)
                                  : CopyPageUnchanged(file, output, source.Info(page), position);
        if (!done) {
            // A write that failed may have been one gathered for earlier pages.
            const int err = StorageError(output);
            const std::string fromSource = file.TakeError("the page could not be written");
            failure.RaiseWrite(PageName(page) + ": " + log.Reason(fromSource), err);
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
        failure.RaiseWrite(
            PageName(count - 1) + ": " + log.Reason("the file could not be finished"),
            StorageError(output));
    }
    // Its failure names the target and the step, as opening it does.
    failure.Commit(temp);
}

}  // namespace folio::engine
