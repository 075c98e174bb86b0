#include "png_output.h"

#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <cerrno>
#include <cstring>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/atomic_file.h"

namespace folio::convert {
namespace {

QImage ToQImage(const engine::RenderedImage& image) {
    const auto format = image.format == engine::RenderedImage::Format::Gray8
                            ? QImage::Format_Grayscale8
                            : QImage::Format_ARGB32;
    // Wraps the pixels without copying; the image does not outlive `image`.
    return QImage(image.pixels.data(), image.width, image.height,
                  static_cast<qsizetype>(image.stride), format);
}

}  // namespace

void WritePng(const engine::RenderedImage& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0) {
        throw Error(errors::kInvalidProcedureCall,
                    "Cannot write \"" + path + "\": the rendered image is empty");
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!ToQImage(image).save(&buffer, "PNG")) {
        throw Error(errors::kDeviceIoError, "Cannot write \"" + path + "\": PNG encoding failed");
    }
    engine::AtomicFile file(path);
    const char* data = bytes.constData();
    size_t left = static_cast<size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(file.Descriptor(), data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const int err = errno;
            throw Error(err == ENOSPC ? errors::kDiskFull : errors::kDeviceIoError,
                        "Cannot write \"" + path + "\": " + std::strerror(err));
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    file.Commit();
}

}  // namespace folio::convert
