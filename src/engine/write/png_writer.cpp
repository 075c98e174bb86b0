// PNG through libpng. The settings favour writing fast over the smallest file: a
// rendered page is written once and looked at a few times.

#include "engine/write/png_writer.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <new>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/write/output_failure.h"
#include "sys/files.h"

namespace folio::engine {
namespace {

bool Opaque(const RenderedImage& image) {
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

int ColourTypeOf(const RenderedImage& image) {
    if (image.format == RenderedImage::Format::Gray8) {
        return PNG_COLOR_TYPE_GRAY;
    }
    return Opaque(image) ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA;
}

// Where libpng's bytes go: the file, until a write fails (its errno is kept).
struct Output {
    sys::FileHandle file;
    int error = 0;
};

void OnWrite(png_structp png, png_bytep data, size_t size) {
    auto* output = static_cast<Output*>(png_get_io_ptr(png));
    if (output->error == 0) {
        output->error = sys::WriteAll(output->file, data, size);
    }
}

void OnFlush(png_structp) {}

// libpng's reason for giving up, kept for the message.
struct Failure {
    char message[200] = "";
};

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<Failure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// The whole file; false when libpng gave up. libpng's errors come back here by
// longjmp, so nothing in this function may need a destructor.
bool Encode(png_structp png, png_infop info, const RenderedImage& image, int colourType) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Level 1 with the Sub filter only (each byte less the one a pixel before):
    // cheap, and good for scans; libpng would pick a filter per row and the
    // filtered-data strategy otherwise.
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_buffer_size(png, size_t{1} << 18);
    png_write_info(png, info);
    if (image.format == RenderedImage::Format::Argb32) {
        // 0xAARRGGBB words lie in memory as B, G, R, A on this machine.
        png_set_bgr(png);
        if (colourType == PNG_COLOR_TYPE_RGB) {
            png_set_filler(png, 0, PNG_FILLER_AFTER);
        }
    }
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, image.pixels.data() + image.stride * static_cast<size_t>(y));
    }
    png_write_end(png, nullptr);
    return true;
}

class PngWriter {
  public:
    PngWriter() {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure_, OnError, OnWarning);
        info_ = png_ != nullptr ? png_create_info_struct(png_) : nullptr;
        if (info_ == nullptr) {
            png_destroy_write_struct(&png_, nullptr);
            throw std::bad_alloc();
        }
    }
    ~PngWriter() { png_destroy_write_struct(&png_, &info_); }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    Failure failure_;
};

}  // namespace

void WritePng(const RenderedImage& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0) {
        throw Error(errors::kInvalidProcedureCall,
                    "Cannot write \"" + path + "\": the rendered image is empty");
    }
    const int colourType = ColourTypeOf(image);
    // Written beside the target and renamed over it once complete, so a failure
    // leaves the file the user had.
    const OutputFailure failure("Cannot write \"" + path + "\"");
    sys::AtomicFile file;
    failure.Open(file, path);
    Output output{file.Handle()};
    PngWriter writer;
    png_set_write_fn(writer.png_, &output, OnWrite, OnFlush);
    const bool encoded = Encode(writer.png_, writer.info_, image, colourType);
    if (output.error != 0) {
        failure.RaiseWrite("the image could not be written", output.error);
    }
    if (!encoded) {
        throw Error(errors::kDeviceIoError, "Cannot write \"" + path + "\": PNG encoding failed: " +
                                                writer.failure_.message);
    }
    failure.Commit(file);
}

}  // namespace folio::engine
