// PNG output. zlib compresses bands of rows side by side, each band a run of
// deflate blocks ending on a byte boundary, and the bands are joined into one zlib
// stream, as parallel gzip does: deflate is most of the time a rendered page takes
// to write, and libpng would run it on one core.

#include "png_output.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/image/side_by_side.h"
#include "engine/write/output_failure.h"
#include "sys/files.h"

namespace folio::convert {
namespace {

// IDAT chunks are kept well under PNG's 2^31 - 1 byte limit.
constexpr size_t kMostChunkBytes = size_t{1} << 30;

bool Opaque(const engine::RenderedImage& image) {
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = image.pixels.data() + image.stride * static_cast<size_t>(y);
        for (int x = 0; x < image.width; ++x) {
            if (row[4 * x + 3] != 0xFF) {
                return false;
            }
        }
    }
    return true;
}

// How the pixels go into the file: gray, RGB, or RGB with alpha.
struct Layout {
    int channels;
    uint8_t colourType;  // PNG's: 0 gray, 2 RGB, 6 RGBA
};

Layout LayoutOf(const engine::RenderedImage& image) {
    if (image.format == engine::RenderedImage::Format::Gray8) {
        return {1, 0};
    }
    return Opaque(image) ? Layout{3, 2} : Layout{4, 6};
}

// One row as PNG stores it: the filter byte (Sub: each byte less the one a pixel
// before, cheap and good for scans) and the samples in R, G, B(, A) order. 32-bit
// pixels are 0xAARRGGBB words, which lie in memory as B, G, R, A on this machine.
void FilterRow(const uint8_t* in, int width, const Layout& layout, uint8_t* out) {
    out[0] = 1;  // Sub
    uint8_t* samples = out + 1;
    const int n = layout.channels;
    if (n == 1) {
        std::memcpy(samples, in, static_cast<size_t>(width));
    } else {
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = in + 4 * x;
            uint8_t* q = samples + n * x;
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
            if (n == 4) {
                q[3] = p[3];
            }
        }
    }
    for (size_t i = static_cast<size_t>(width) * n; i-- > static_cast<size_t>(n);) {
        samples[i] = static_cast<uint8_t>(samples[i] - samples[i - n]);
    }
}

// Rows [first, last) filtered and deflated as raw deflate blocks: the last band
// ends the stream, the others end on a byte boundary for the next to follow.
struct Band {
    // Room for the worst case, left unfilled: only what deflate writes is touched.
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    uLong adler = 0;   // of the filtered rows
    size_t bytes = 0;  // filtered bytes
};

void Compress(const engine::RenderedImage& image, const Layout& layout, size_t rowBytes, int first,
              int last, bool final, Band& band) {
    std::vector<uint8_t> row(rowBytes);
    z_stream z{};
    // Level 1: a page is written once and looked at a few times.
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::bad_alloc();
    }
    band.bytes = rowBytes * static_cast<size_t>(last - first);
    const size_t room = deflateBound(&z, static_cast<uLong>(band.bytes)) + 16;
    band.data.reset(new uint8_t[room]);
    band.adler = adler32(0, nullptr, 0);
    z.next_out = band.data.get();
    z.avail_out = static_cast<uInt>(room);
    for (int y = first; y < last; ++y) {
        FilterRow(image.pixels.data() + image.stride * static_cast<size_t>(y), image.width, layout,
                  row.data());
        band.adler = adler32(band.adler, row.data(), static_cast<uInt>(rowBytes));
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(rowBytes);
        const int flush = y + 1 < last ? Z_NO_FLUSH : final ? Z_FINISH : Z_SYNC_FLUSH;
        const int result = deflate(&z, flush);
        // The buffer holds the worst case, so every row goes in at once and the
        // band ends whole; anything else is a fault, never a short file.
        if (result == Z_STREAM_ERROR || z.avail_in != 0 || z.avail_out == 0 ||
            (flush == Z_FINISH && result != Z_STREAM_END)) {
            deflateEnd(&z);
            throw std::runtime_error("PNG compression failed");
        }
    }
    band.size = room - z.avail_out;
    deflateEnd(&z);
}

void PutBigEndian(uint32_t value, uint8_t* out) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

// Writes the file's chunks in order; the first failure is kept.
class PngFile {
  public:
    explicit PngFile(sys::FileHandle file) : file_(file) {}

    void Chunk(const char* type, const uint8_t* data, size_t size) {
        uint8_t head[8];
        PutBigEndian(static_cast<uint32_t>(size), head);
        std::memcpy(head + 4, type, 4);
        uLong crc = crc32(0, head + 4, 4);
        if (size > 0) {  // (no data would start the check value afresh)
            crc = crc32_z(crc, data, size);
        }
        uint8_t tail[4];
        PutBigEndian(static_cast<uint32_t>(crc), tail);
        Write(head, sizeof head);
        Write(data, size);
        Write(tail, sizeof tail);
    }
    void Write(const uint8_t* data, size_t size) {
        if (error_ == 0 && size > 0) {
            error_ = sys::WriteAll(file_, data, size);
        }
    }
    int Error() const { return error_; }

  private:
    sys::FileHandle file_;
    int error_ = 0;
};

}  // namespace

void WritePng(const engine::RenderedImage& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0) {
        throw Error(errors::kInvalidProcedureCall,
                    "Cannot write \"" + path + "\": the rendered image is empty");
    }
    const Layout layout = LayoutOf(image);
    // Bands side by side for a large image, and never more than about a gigabyte of
    // rows in one (zlib counts its buffers in 32 bits).
    const size_t rowBytes = 1 + static_cast<size_t>(image.width) * layout.channels;
    const auto parallel = static_cast<size_t>(
        engine::BandsFor(static_cast<size_t>(image.width) * static_cast<size_t>(image.height)));
    const size_t needed = (rowBytes * static_cast<size_t>(image.height) >> 30) + 1;
    const int bands =
        static_cast<int>(std::min(std::max(parallel, needed), static_cast<size_t>(image.height)));
    std::vector<Band> parts(static_cast<size_t>(bands));
    engine::RunSideBySide(bands, [&](int index) {
        Compress(image, layout, rowBytes, image.height * index / bands,
                 image.height * (index + 1) / bands, index + 1 == bands,
                 parts[static_cast<size_t>(index)]);
    });

    // Written beside the target and renamed over it once complete, so a failure
    // leaves the file the user had.
    const engine::OutputFailure failure("Cannot write \"" + path + "\"");
    sys::AtomicFile file;
    failure.Open(file, path);
    PngFile png(file.Handle());
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.Write(kSignature, sizeof kSignature);
    uint8_t header[13] = {};
    PutBigEndian(static_cast<uint32_t>(image.width), header);
    PutBigEndian(static_cast<uint32_t>(image.height), header + 4);
    header[8] = 8;  // bits per sample
    header[9] = layout.colourType;
    png.Chunk("IHDR", header, sizeof header);
    // One zlib stream over the bands: its header, the bands' deflate blocks, and the
    // Adler-32 of all the filtered rows, in IDAT chunks one after another.
    uLong adler = parts[0].adler;
    for (size_t i = 1; i < parts.size(); ++i) {
        adler = adler32_combine(adler, parts[i].adler, static_cast<z_off_t>(parts[i].bytes));
    }
    static const uint8_t kZlibHeader[2] = {0x78, 0x01};
    png.Chunk("IDAT", kZlibHeader, sizeof kZlibHeader);
    for (const Band& band : parts) {
        for (size_t at = 0; at < band.size; at += kMostChunkBytes) {
            png.Chunk("IDAT", band.data.get() + at, std::min(kMostChunkBytes, band.size - at));
        }
    }
    uint8_t check[4];
    PutBigEndian(static_cast<uint32_t>(adler), check);
    png.Chunk("IDAT", check, sizeof check);
    png.Chunk("IEND", nullptr, 0);
    if (png.Error() != 0) {
        failure.RaiseWrite("the image could not be written", png.Error());
    }
    failure.Commit(file);
}

}  // namespace folio::convert
