#include "png_output.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/tiff_output.h"
#include "sys/files.h"

namespace folio::convert {
namespace {

struct PngOutput {
    int fd;
    char message[256];
};

// The first reason given is kept (a failed write notes its own before).
void OnPngError(png_structp png, png_const_charp message) {
    auto* output = static_cast<PngOutput*>(png_get_error_ptr(png));
    if (output->message[0] == '\0') {
        std::snprintf(output->message, sizeof output->message, "%s", message);
    }
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Returns whether all was written; notes the file's reason when not.
bool Write(PngOutput& output, png_bytep data, png_size_t size) {
    if (const int err = sys::WriteAll(output.fd, data, size); err != 0) {
        std::snprintf(output.message, sizeof output.message, "%s", std::strerror(err));
        return false;
    }
    return true;
}

void WriteBytes(png_structp png, png_bytep data, png_size_t size) {
    if (!Write(*static_cast<PngOutput*>(png_get_io_ptr(png)), data, size)) {
        png_error(png, "the file cannot be written");
    }
}

void FlushNothing(png_structp) {}

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

// Encodes `rows` into the file; 0 when done, else the message is set. Only plain
// data lives here, so leaving by longjmp skips no destructor. 32-bit pixels are
// 0xAARRGGBB words, which lie in memory as B, G, R, A on this machine; an opaque
// image is written without its alpha.
int Encode(const engine::RenderedImage& image, bool opaque, png_bytepp rows, PngOutput& output) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &output, OnPngError, OnPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(output.message, sizeof output.message, "out of memory");
        return 1;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return 1;
    }
    png_set_write_fn(png, &output, WriteBytes, FlushNothing);
    // A page is written once and looked at a few times: quick deflate with the
    // cheap Sub filter costs a fraction of the default for a slightly larger file.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    const bool gray = image.format == engine::RenderedImage::Format::Gray8;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8,
                 gray     ? PNG_COLOR_TYPE_GRAY
                 : opaque ? PNG_COLOR_TYPE_RGB
                          : PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    if (!gray) {
        png_set_bgr(png);
        if (opaque) {
            png_set_filler(png, 0, PNG_FILLER_AFTER);  // dropped on writing
        }
    }
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return 0;
}

}  // namespace

void WritePng(const engine::RenderedImage& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0) {
        throw Error(errors::kInvalidProcedureCall,
                    "Cannot write \"" + path + "\": the rendered image is empty");
    }
    std::vector<png_bytep> rows(static_cast<size_t>(image.height));
    for (size_t y = 0; y < rows.size(); ++y) {
        rows[y] = const_cast<png_bytep>(image.pixels.data() + image.stride * y);
    }
    const bool opaque =
        image.format == engine::RenderedImage::Format::Argb32 ? Opaque(image) : true;
    // Written beside the target and renamed over it once complete, so a failure
    // leaves the file the user had.
    engine::AtomicFile file(path);
    PngOutput output{file.Descriptor(), {}};
    if (Encode(image, opaque, rows.data(), output) != 0) {
        throw Error(errors::kDeviceIoError, "Cannot write \"" + path + "\": " + output.message);
    }
    file.Commit();
}

}  // namespace folio::convert
