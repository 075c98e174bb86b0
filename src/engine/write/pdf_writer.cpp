// Export to PDF: qpdf writes the file from the pages' images.

#include "engine/write/pdf_writer.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/document/page_source.h"
#include "engine/tiff/located_error.h"
#include "engine/tiff/tiff_io.h"
#include "engine/write/decode_ahead.h"
#include "engine/write/output_failure.h"
#include "engine/write/pdf_page_image.h"
#include "engine/write/tiff_output.h"

namespace folio::engine {
namespace {

using Handle = QPDFObjectHandle;

struct PageRef {
    const PageSource* source = nullptr;
    int page = 0;
};

// "FILE, page N" as the engine's decoder names pages, or "page N" for a document
// held in memory.
std::string Where(const PageRef& ref) {
    return PageLocation(ref.source->FilePath().string(), ref.page);
}

// A PDF number: fixed point without trailing zeros, exact enough that a page
// rendered at its own resolution comes out at its own pixel size.
std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    std::string s(text);
    s.erase(s.find_last_not_of('0') + 1);
    if (!s.empty() && s.back() == '.') {
        s.pop_back();
    }
    return s;
}

// Why the page cannot go into the PDF at all (it cannot be reached, or neither
// decoded nor passed through), or nothing.
std::optional<LocatedError> Unwritable(const PageRef& ref, const PageInfo& info) {
    if (!info.chainBreak.empty()) {
        return LocatedError(errors::kDamagedFile, Where(ref), ChainBreakReason(info));
    }
    if (!info.decodable && !MayPassThrough(info)) {
        return LocatedError(errors::kUnsupportedCompression, Where(ref), UndecodableReason(info));
    }
    return std::nullopt;
}

// What the page standing in for a page that cannot be written says.
std::string NoticeText(const PageRef& ref, const std::string& reason) {
    return "Page " + std::to_string(ref.page + 1) + " could not be written.\n\n" + reason;
}

// `text` in lines of at most `width` characters, broken at spaces where it can.
std::vector<std::string> Wrapped(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t newline = std::min(text.find('\n', start), text.size());
        std::string rest = text.substr(start, newline - start);
        while (rest.size() > width) {
            size_t cut = rest.rfind(' ', width);
            cut = cut == std::string::npos || cut == 0 ? width : cut;
            lines.push_back(rest.substr(0, cut));
            rest.erase(0, rest[cut] == ' ' ? cut + 1 : cut);
        }
        lines.push_back(rest);
        start = newline + 1;
    }
    return lines;
}

// The stream's bytes go into the file as they are. Without this qpdf tries to
// compress each stream, finds it cannot decode the image's filter at the decode
// level asked, and asks for the data a second time to copy it.
void WriteAsIs(Handle& stream) {
    stream.setFilterOnWrite(false);
}

// The stream reads the image's bytes where they are: they outlive the writer.
void SetData(Handle& stream, std::vector<uint8_t>& data, const Handle& filter,
             const Handle& parms) {
    stream.replaceStreamData(std::make_shared<Buffer>(data.data(), data.size()), filter, parms);
}

// Passed-through data read from the source file while the PDF is written, through
// one buffer; a failed read is kept to be raised once the writer returns.
struct FileReads {
    std::vector<uint8_t> buffer;
    std::string error;
};

void SetFileData(Handle& stream, TiffSourceFile& file, const PdfImage& image, FileReads& reads,
                 const Handle& filter, const Handle& parms) {
    const uint64_t offset = image.fileOffset;
    const uint64_t bytes = image.fileBytes;
    stream.replaceStreamData(
        [&file, &reads, offset, bytes](Pipeline* out) {
            reads.buffer.resize(std::max<size_t>(reads.buffer.size(), bytes));
            if (!reads.error.empty() || !file.ReadRange(offset, reads.buffer.data(), bytes)) {
                if (reads.error.empty()) {
                    reads.error = file.TakeError("the source file can no longer be read");
                }
                return;
            }
            out->write(reads.buffer.data(), static_cast<size_t>(bytes));
            out->finish();
        },
        filter, parms);
}

// Makes the pages' objects. What pages hold alike (names, numbers, a MediaBox,
// decode parameters, the content stream drawing the image) is made once and held
// by each: qpdf writes a direct object out in full wherever it is held, and making
// objects is most of what qpdf does before writing, a microsecond or so each.
class PageBuilder {
  public:
    PageBuilder(QPDF& pdf, FileReads& reads) : pdf_(pdf), pages_(pdf), reads_(reads) {}

    // One page showing the image at its physical size, turned by /Rotate; in units
    // larger than a point where its sides in points are more than readers take.
    // False, with nothing added, for an image no page can hold (refused before
    // anything was decoded, from the page's description; this for an image that
    // disagrees with it).
    bool Add(PdfImage& image, TiffSourceFile* file) {
        const std::optional<PdfPageBox> box =
            FitPageBox(image.width * 72.0 / image.xDpi, image.height * 72.0 / image.yDpi);
        if (!box) {
            return false;
        }
        const std::string width = Number(box->width);
        const std::string height = Number(box->height);
        Handle page = Handle::newDictionary();
        page.replaceKey("/Type", Name("/Page"));
        if (box->unit != 1.0) {
            page.replaceKey("/UserUnit", Handle::newReal(Number(box->unit)));
            usesUserUnit_ = true;
        }
        page.replaceKey("/MediaBox", Shared("MediaBox " + width + " " + height, [&] {
                            return Handle::newArray({Integer(0), Integer(0), Handle::newReal(width),
                                                     Handle::newReal(height)});
                        }));
        if (image.turns % 4 != 0) {
            page.replaceKey("/Rotate", Integer(90 * (image.turns % 4)));
        }
        Handle xobjects = Handle::newDictionary();
        xobjects.replaceKey("/Im0", ImageStream(image, file));
        Handle resources = Handle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        page.replaceKey("/Resources", resources);
        const std::string drawing = "q " + width + " 0 0 " + height + " 0 0 cm /Im0 Do Q\n";
        page.replaceKey("/Contents", Shared(drawing, [&] {
                            Handle stream = Handle::newStream(&pdf_, drawing);
                            // A few dozen bytes, which compressing would only make longer.
                            WriteAsIs(stream);
                            return stream;
                        }));
        pages_.addPage(pdf_.makeIndirectObject(page), false);
        return true;
    }

    // Whether a page has a /UserUnit, which PDF 1.6 brought.
    bool UsesUserUnit() const { return usesUserUnit_; }

    // A page of the image's size with its notice written on it in Helvetica, one of
    // the fonts every reader has.
    // False, as Add, for a size no page can hold.
    bool AddNotice(const PdfImage& image) {
        const std::optional<PdfPageBox> box =
            FitPageBox(image.width * 72.0 / image.xDpi, image.height * 72.0 / image.yDpi);
        if (!box) {
            return false;
        }
        const double width = box->width;
        const double height = box->height;
        // Helvetica's letters average about half an em: 0.6 keeps lines inside.
        constexpr double kEm = 0.6;
        const double margin = std::min(width, height) / 10;
        double size = std::clamp(width / 40, 2.0, 24.0);
        std::vector<std::string> lines;
        for (;; size *= 0.85) {
            const auto columns =
                static_cast<size_t>(std::max(1.0, (width - 2 * margin) / (size * kEm)));
            lines = Wrapped(image.notice, columns);
            if (size < 2.0 || lines.size() * size * 1.3 <= height - 2 * margin) {
                break;
            }
        }
        std::string text = "BT /F1 " + Number(size) + " Tf " + Number(size * 1.3) + " TL " +
                           Number(margin) + " " + Number(height - margin - size) + " Td\n";
        for (const std::string& line : lines) {
            text += Handle::newString(QUtil::utf8_to_win_ansi(line, '?')).unparse() + " '\n";
        }
        text += "ET\n";
        Handle page = Handle::newDictionary();
        page.replaceKey("/Type", Name("/Page"));
        if (box->unit != 1.0) {
            page.replaceKey("/UserUnit", Handle::newReal(Number(box->unit)));
            usesUserUnit_ = true;
        }
        page.replaceKey("/MediaBox",
                        Handle::newArray({Integer(0), Integer(0), Handle::newReal(Number(width)),
                                          Handle::newReal(Number(height))}));
        Handle fonts = Handle::newDictionary();
        fonts.replaceKey("/F1", Shared("Helvetica", [&] {
                             Handle font = Handle::newDictionary();
                             font.replaceKey("/Type", Name("/Font"));
                             font.replaceKey("/Subtype", Name("/Type1"));
                             font.replaceKey("/BaseFont", Name("/Helvetica"));
                             font.replaceKey("/Encoding", Name("/WinAnsiEncoding"));
                             return pdf_.makeIndirectObject(font);
                         }));
        Handle resources = Handle::newDictionary();
        resources.replaceKey("/Font", fonts);
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents", Handle::newStream(&pdf_, text));
        pages_.addPage(pdf_.makeIndirectObject(page), false);
        return true;
    }

  private:
    Handle Name(const std::string& name) {
        return Shared(name, [&] { return Handle::newName(name); });
    }

    Handle Integer(long long value) {
        return Shared("#" + std::to_string(value), [&] { return Handle::newInteger(value); });
    }

    // The object `make` makes for `key`, made the first time only. Keys: a name
    // itself, "#" and an integer, else words saying what the object is.
    template <typename Make>
    Handle Shared(const std::string& key, Make make) {
        Handle& handle = shared_[key];
        if (!handle.isInitialized()) {
            handle = make();
        }
        return handle;
    }

    Handle ColourSpace(const PdfImage& image) {
        switch (image.colour) {
            case PdfImage::Colour::Rgb:
                return Name("/DeviceRGB");
            case PdfImage::Colour::Cmyk:
                return Name("/DeviceCMYK");
            case PdfImage::Colour::Indexed: {
                const int highest = static_cast<int>(image.palette.size() / 3) - 1;
                return Handle::newArray(
                    {Name("/Indexed"), Name("/DeviceRGB"), Integer(highest),
                     Handle::newString(std::string(image.palette.begin(), image.palette.end()))});
            }
            case PdfImage::Colour::Gray:
                break;
        }
        return Name("/DeviceGray");
    }

    // Each stream's own: qpdf adds the filter and parameters to it.
    Handle ImageDictionary(uint32_t width, uint32_t height, int bits, Handle colourSpace) {
        Handle dict = Handle::newDictionary();
        dict.replaceKey("/Type", Name("/XObject"));
        dict.replaceKey("/Subtype", Name("/Image"));
        dict.replaceKey("/Width", Integer(width));
        dict.replaceKey("/Height", Integer(height));
        dict.replaceKey("/BitsPerComponent", Integer(bits));
        dict.replaceKey("/ColorSpace", colourSpace);
        return dict;
    }

    Handle PredictorParameters(uint32_t width, int bits, int colours) {
        const std::string key = "Predictor " + std::to_string(width) + " " + std::to_string(bits) +
                                " " + std::to_string(colours);
        return Shared(key, [&] {
            Handle parms = Handle::newDictionary();
            parms.replaceKey("/Predictor", Integer(15));
            parms.replaceKey("/Colors", Integer(colours));
            parms.replaceKey("/BitsPerComponent", Integer(bits));
            parms.replaceKey("/Columns", Integer(width));
            return parms;
        });
    }

    Handle CcittParameters(const PdfImage& image) {
        const std::string key = "CCITT " + std::to_string(image.k) + " " +
                                std::to_string(image.width) + " " + std::to_string(image.height) +
                                (image.blackIs1 ? " b" : " w") +
                                (image.encodedByteAlign ? " a" : " u");
        return Shared(key, [&] {
            Handle parms = Handle::newDictionary();
            parms.replaceKey("/K", Integer(image.k));
            parms.replaceKey("/Columns", Integer(image.width));
            parms.replaceKey("/Rows", Integer(image.height));
            parms.replaceKey("/BlackIs1", Handle::newBool(image.blackIs1));
            parms.replaceKey("/EncodedByteAlign", Handle::newBool(image.encodedByteAlign));
            return parms;
        });
    }

    Handle ImageStream(PdfImage& image, TiffSourceFile* file) {
        Handle stream = Handle::newStream(&pdf_);
        Handle dict =
            ImageDictionary(image.width, image.height, image.bitsPerComponent, ColourSpace(image));
        if (image.inverted) {
            dict.replaceKey("/Decode", Shared("Decode 1 0", [&] {
                                return Handle::newArray({Integer(1), Integer(0)});
                            }));
        }
        Handle filter = Handle::newNull();
        Handle parms = Handle::newNull();
        switch (image.filter) {
            case PdfImage::Filter::CCITTFax:
                filter = Name("/CCITTFaxDecode");
                parms = CcittParameters(image);
                break;
            case PdfImage::Filter::DCT:
                filter = Name("/DCTDecode");
                if (image.noColorTransform) {
                    parms = Shared("ColorTransform 0", [&] {
                        Handle dict = Handle::newDictionary();
                        dict.replaceKey("/ColorTransform", Integer(0));
                        return dict;
                    });
                }
                break;
            case PdfImage::Filter::Flate:
                filter = Name("/FlateDecode");
                parms = PredictorParameters(image.width, image.bitsPerComponent, image.components);
                break;
        }
        if (image.alpha) {
            Handle mask = Handle::newStream(&pdf_);
            Handle maskDict = ImageDictionary(image.width, image.height,
                                              image.alpha->bitsPerComponent, Name("/DeviceGray"));
            if (image.alpha->premultiplied) {
                std::vector<Handle> black(static_cast<size_t>(image.components), Integer(0));
                maskDict.replaceKey("/Matte", Handle::newArray(black));
            }
            mask.replaceDict(maskDict);
            SetData(mask, image.alpha->data, Name("/FlateDecode"),
                    PredictorParameters(image.width, image.alpha->bitsPerComponent, 1));
            WriteAsIs(mask);
            dict.replaceKey("/SMask", mask);
        }
        stream.replaceDict(dict);
        if (image.data.empty() && file != nullptr) {
            SetFileData(stream, *file, image, reads_, filter, parms);
        } else {
            SetData(stream, image.data, filter, parms);
        }
        WriteAsIs(stream);
        return stream;
    }

    QPDF& pdf_;
    QPDFPageDocumentHelper pages_;
    FileReads& reads_;
    std::map<std::string, Handle> shared_;
    bool usesUserUnit_ = false;
};

// The documents' own files, each opened once, while the PDF is written.
class SourceFiles {
  public:
    TiffSourceFile& Of(const PageSource* source) {
        std::unique_ptr<TiffSourceFile>& file = files_[source];
        if (!file) {
            file = std::make_unique<TiffSourceFile>(source->OpenFile());
        }
        return *file;
    }

  private:
    std::map<const PageSource*, std::unique_ptr<TiffSourceFile>> files_;
};

using ImageAhead = DecodeAhead<PdfImage>;

// Every page counts its decoded size, passed through or not: one that cannot be
// passed through after all is decoded instead.
std::vector<ImageAhead::Page> StagePages(const std::vector<PageRef>& pages) {
    std::vector<ImageAhead::Page> sizes;
    for (const PageRef& ref : pages) {
        sizes.push_back(ImageAhead::Page{ref.source->Info(ref.page).DecodedBytes(), true});
    }
    return sizes;
}

// A page passed through is read at once (and, with `verify`, also decoded on a
// worker, to find damage in its data); any other is decoded here and left to a
// worker to compress. Raises what stops the page, for TakeImage to name.
ImageAhead::Started StartImage(const PageRef& ref, SourceFiles& files, bool verify) {
    const PageInfo info = ref.source->Info(ref.page);
    const int turns = NormalQuarterTurns(ref.source->QuarterTurns(ref.page));
    if (std::optional<LocatedError> unwritable = Unwritable(ref, info)) {
        throw *unwritable;  // only when skipping: refused up front otherwise
    }
    if (MayPassThrough(info)) {
        if (std::optional<PdfImage> image = PassThroughImage(
                files.Of(ref.source), info, ref.source->DirectoryOffset(ref.page), turns)) {
            if (!verify) {
                return {std::move(image), nullptr};
            }
            // (Shared: the work is copied into the stage.)
            auto held = std::make_shared<PdfImage>(std::move(*image));
            return {std::nullopt, [source = ref.source, page = ref.page, held] {
                        source->Verify(page);
                        return std::move(*held);
                    }};
        }
    }
    const std::shared_ptr<const Raster> decoded = ref.source->Decode(ref.page);
    if (!decoded) {
        throw LocatedError(errors::kDamagedFile, Where(ref), "the page could not be decoded");
    }
    const int page = ref.page;
    return {std::nullopt,
            [decoded, info, turns, page] { return EncodePdfImage(*decoded, info, turns, page); }};
}

// The image of page `index`. Raises the page's failure, naming its file and page,
// unless (given `skipped`) a page that cannot be written becomes a notice listed
// there.
PdfImage TakeImage(ImageAhead& stage, size_t index, const PageRef& ref,
                   const OutputFailure& failure, std::vector<SkippedPage>* skipped) {
    try {
        return stage.Take(static_cast<int>(index));
    } catch (const Error& e) {
        // Named here, in one way, whoever raised it: the decoder names the
        // document's file, the encoder only the page, a page's data no place.
        const std::string reason = ReasonOf(e);
        const std::string text = Where(ref) + ": " + reason;
        if (skipped == nullptr) {
            failure.Raise(e.Number(), text);
        }
        skipped->push_back({ref.source, ref.page, reason});
        return NoticeImage(ref.source->Info(ref.page), ref.source->QuarterTurns(ref.page),
                           NoticeText(ref, text));
    }
}

// Every page; unless `skipping`, fails before anything is written at a page that
// cannot be written.
std::vector<PageRef> ListPages(const std::vector<const PageSource*>& sources,
                               const OutputFailure& failure, bool skipping) {
    std::vector<PageRef> pages;
    for (const PageSource* source : sources) {
        for (int page = 0; page < source->PageCount(); ++page) {
            const PageRef ref{source, page};
            const PageInfo info = source->Info(page);
            if (const std::optional<LocatedError> unwritable = Unwritable(ref, info);
                unwritable && !skipping) {
                failure.Raise(unwritable->Number(), unwritable->Description());
            }
            double width = 0;
            double height = 0;
            if (!PageBoxOf(info, width, height)) {
                failure.Raise(errors::kInvalidFileFormat,
                              Where(ref) + " is " + Number(width) + " x " + Number(height) +
                                  " points, which no PDF page can be: readers take sides of 3 to "
                                  "14400 units, a unit being 1 to 75000 points");
            }
            pages.push_back(ref);
        }
    }
    if (pages.empty()) {
        failure.Raise(errors::kInvalidFileFormat, "there are no pages to write");
    }
    return pages;
}

// qpdf's output gathered into large writes, each made in the background while
// qpdf carries on and each starting the disk, so that the flush before the rename
// has little left to wait for. A failed write stops qpdf (Failed; Error() says why).
class FileOutput : public Pipeline {
  public:
    struct Failed : std::runtime_error {
        Failed() : std::runtime_error("the file could not be written") {}
    };

    FileOutput(sys::FileHandle file, size_t capacity)
        : Pipeline("PDF output", nullptr), buffer_(file, 0, capacity) {}

    void write(unsigned char const* data, size_t size) override {
        if (!buffer_.Write(buffer_.Size(), data, size)) {
            Throw();
        }
    }
    // qpdf finishes its output after every stream and object stream: flushing
    // there would make one small write each. The writer flushes once at the end.
    void finish() override {}
    void Flush() {
        if (!buffer_.Flush()) {
            Throw();
        }
    }
    int Error() const { return buffer_.Error(); }

  private:
    [[noreturn]] static void Throw() { throw Failed(); }

    FileWriteBuffer buffer_;
};

// Small files go out in one write at the end; large ones a megabyte at a time.
size_t OutputBufferBytes(const std::deque<PdfImage>& images) {
    constexpr uint64_t kPerPage = 1024;  // dictionaries, content stream, cross-reference
    uint64_t total = 4096;
    for (const PdfImage& image : images) {
        total += image.data.size() + image.fileBytes + kPerPage +
                 (image.alpha ? image.alpha->data.size() : 0);
    }
    return static_cast<size_t>(
        std::clamp<uint64_t>(total, 64 << 10, TiffOutputFile::kDefaultBuffer));
}

void WriteFile(QPDF& pdf, sys::FileHandle file, size_t bufferBytes, const std::string& version,
               const OutputFailure& failure) {
    std::string reason;
    int cause = 0;
    try {
        FileOutput out(file, bufferBytes);
        try {
            QPDFWriter writer(pdf);
            writer.setOutputPipeline(&out);
            // Streams are written as prepared: none is decoded and compressed again.
            writer.setDecodeLevel(qpdf_dl_none);
            // No object streams: beside the images, the few small objects a page has
            // would shrink by about 0.2% of the file, for a tenth of the time taken.
            writer.setObjectStreamMode(qpdf_o_disable);
            writer.setMinimumPDFVersion(version);
            writer.write();
            out.Flush();
        } catch (const std::exception& e) {
            reason = e.what();
            cause = out.Error();
        }
    } catch (const std::exception& e) {
        reason = e.what();  // no memory for the buffer
        cause = ENOMEM;
    }
    if (!reason.empty()) {
        failure.RaiseWrite(reason, cause);
    }
}

}  // namespace

void WritePdf(const std::vector<const PageSource*>& sources,
              const std::filesystem::path& targetPath, sys::AtomicFile::Options target,
              std::vector<SkippedPage>* skipped, DamageChecks checks, const Progress& progress) {
    const OutputFailure failure("Cannot write PDF \"" + targetPath.string() + "\"");
    const std::vector<PageRef> pages = ListPages(sources, failure, skipped != nullptr);
    sys::AtomicFile temp;
    failure.Open(temp, targetPath, target);
    QPDF pdf;
    pdf.emptyPDF();
    // The images' bytes, which the streams point into until the file is written.
    std::deque<PdfImage> images;
    SourceFiles files;
    ImageAhead stage(StagePages(pages), [&pages, &files, verify = checks.verify](int index) {
        return StartImage(pages[static_cast<size_t>(index)], files, verify);
    });
    const int count = static_cast<int>(pages.size());
    ReportProgress(progress, 0, count);
    FileReads reads;
    PageBuilder builder(pdf, reads);
    for (size_t i = 0; i < pages.size(); ++i) {
        images.push_back(TakeImage(stage, i, pages[i], failure, skipped));
        PdfImage& image = images.back();
        const PageRef& ref = pages[i];
        if (const std::string damage = ref.source->Info(ref.page).damage;
            checks.strict && image.notice.empty() && !damage.empty()) {
            failure.Raise(errors::kDamagedFile, Where(ref) + " is damaged: " + damage);
        }
        const bool added =
            !image.notice.empty()
                ? builder.AddNotice(image)
                : builder.Add(image, image.data.empty() ? &files.Of(pages[i].source) : nullptr);
        if (!added) {
            failure.Raise(errors::kInvalidFileFormat,
                          Where(pages[i]) + ": its image is too large or too small for a PDF page");
        }
        ReportProgress(progress, static_cast<int>(i) + 1, count);
    }
    // 16-bit images need 1.5, soft masks 1.4: the version the files always had, but
    // for pages in units larger than a point.
    WriteFile(pdf, temp.Handle(), OutputBufferBytes(images), builder.UsesUserUnit() ? "1.6" : "1.5",
              failure);
    if (!reads.error.empty()) {
        failure.Raise(errors::kDamagedFile, reads.error);
    }
    // Its failure names the target and the step, as opening it does.
    failure.Commit(temp);
}

}  // namespace folio::engine
