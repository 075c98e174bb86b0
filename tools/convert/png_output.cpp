#include "png_output.h"

#include <png.h>

#include <QFile>
#include <QSaveFile>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::convert {
namespace {

// The image as PNG bytes, through libpng's simplified interface; 32-bit pixels are
// 0xAARRGGBB words, which lie in memory as B, G, R, A on this machine.
std::vector<uint8_t> EncodePng(const engine::RenderedImage& image, const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format =
        image.format == engine::RenderedImage::Format::Gray8 ? PNG_FORMAT_GRAY : PNG_FORMAT_BGRA;
    // Quicker compression (zlib's default took most of a render's time), in one pass
    // into room for the largest PNG the image can make.
    png.flags = PNG_IMAGE_FLAG_FAST;
    const auto stride = static_cast<png_int_32>(image.stride);
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(png);
    std::vector<uint8_t> bytes(size);
    if (png_image_write_to_memory(&png, bytes.data(), &size, 0, image.pixels.data(), stride,
                                  nullptr) != 0) {
        bytes.resize(size);
        return bytes;
    }
    const std::string reason = png.message[0] != 0 ? png.message : "PNG encoding failed";
    png_image_free(&png);
    throw Error(errors::kDeviceIoError, "Cannot write \"" + path + "\": " + reason);
}

}  // namespace

void WritePng(const engine::RenderedImage& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0) {
        throw Error(errors::kInvalidProcedureCall,
                    "Cannot write \"" + path + "\": the rendered image is empty");
    }
    const QString name = QFile::decodeName(path.c_str());
    if (QFile::encodeName(name).toStdString() != path) {
        throw Error(errors::kBadFileName,
                    "Cannot write \"" + path + "\": the file name is not valid UTF-8");
    }
    const std::vector<uint8_t> bytes = EncodePng(image, path);
    // Written beside the target and renamed over it once complete, so a failure
    // leaves the file the user had.
    QSaveFile file(name);
    const auto size = static_cast<qint64>(bytes.size());
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()), size) != size || !file.commit()) {
        throw Error(errors::kDeviceIoError,
                    "Cannot write \"" + path + "\": " + file.errorString().toStdString());
    }
}

}  // namespace folio::convert
