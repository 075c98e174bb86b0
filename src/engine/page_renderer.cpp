// Rendering a region of a page as shown: the geometry of a page at a zoom, the
// resampled and rotated region, and JPEG pages decoded small by libjpeg's scaled
// DCT.

#include "engine/page_renderer.h"

#include <tiffio.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/page_directory.h"
#include "engine/raster_transforms.h"
#include "engine/resample.h"
#include "engine/tiff_io.h"

namespace folio::engine {

namespace {

void SetShownSize(const PageInfo& info, RenderGeometry& g) {
    const double width = info.width * g.scaleX;
    const double height = info.height * g.scaleY;
    const bool odd = g.quarterTurns % 2 == 1;
    g.shownWidth = odd ? height : width;
    g.shownHeight = odd ? width : height;
}

int NormalTurns(int quarterTurns) {
    return ((quarterTurns % 4) + 4) % 4;
}

}  // namespace

RenderGeometry ScaleGeometry(const PageInfo& info, int quarterTurns, double scale) {
    RenderGeometry g;
    g.quarterTurns = NormalTurns(quarterTurns);
    g.scaleX = scale;
    g.scaleY = scale;
    SetShownSize(info, g);
    return g;
}

RenderGeometry ComputeGeometry(const PageInfo& info, int quarterTurns, double zoomX, double zoomY,
                               double dpiX, double dpiY) {
    RenderGeometry g;
    g.quarterTurns = NormalTurns(quarterTurns);
    const bool odd = g.quarterTurns % 2 == 1;
    // The screen axis along which the image's rows, and its columns, are shown.
    const double rowZoom = odd ? zoomY : zoomX;
    const double columnZoom = odd ? zoomX : zoomY;
    const double rowDpi = odd ? dpiY : dpiX;
    const double columnDpi = odd ? dpiX : dpiY;
    if (info.xDpi > 0.0 && info.yDpi > 0.0) {
        g.scaleX = rowZoom * rowDpi / info.xDpi;
        g.scaleY = columnZoom * columnDpi / info.yDpi;
    } else {
        g.scaleX = rowZoom;
        g.scaleY = columnZoom * (info.pixelAspect > 0.0 ? info.pixelAspect : 1.0);
    }
    SetShownSize(info, g);
    return g;
}

RenderedImage RenderRegion(const Raster& raster, const RenderGeometry& geometry,
                           const PixelRect& region) {
    if (region.width <= 0 || region.height <= 0) {
        throw Error(errors::kInvalidProcedureCall, "Cannot render an empty area (" +
                                                       std::to_string(region.width) + " x " +
                                                       std::to_string(region.height) + " pixels)");
    }
    if (static_cast<int64_t>(region.width) * region.height > kMaxRenderPixels) {
        throw Error(errors::kOutOfMemory, "Cannot render an area of " +
                                              std::to_string(region.width) + " x " +
                                              std::to_string(region.height) + " pixels at once");
    }
    // The same area on the page before its turn: an axis-aligned rectangle in the
    // scaled, unturned page, which is resampled and then turned.
    const double width = raster.width * geometry.scaleX;
    const double height = raster.height * geometry.scaleY;
    const double x = region.x;
    const double y = region.y;
    const double w = region.width;
    const double h = region.height;
    ResampleGrid grid;
    grid.scaleX = geometry.scaleX;
    grid.scaleY = geometry.scaleY;
    const bool odd = geometry.quarterTurns % 2 == 1;
    grid.width = odd ? region.height : region.width;
    grid.height = odd ? region.width : region.height;
    switch (geometry.quarterTurns) {
        case 1:
            grid.originX = y, grid.originY = height - x - w;
            break;
        case 2:
            grid.originX = width - x - w, grid.originY = height - y - h;
            break;
        case 3:
            grid.originX = width - y - h, grid.originY = x;
            break;
        default:
            grid.originX = x, grid.originY = y;
            break;
    }
    return RotateImage(ResampleArea(raster, grid), geometry.quarterTurns);
}

namespace {

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

void Quiet(j_common_ptr) {}

struct StripTarget {
    uint8_t* out;    // the strip's first row in the scaled page
    size_t stride;   // bytes per row of the scaled page
    uint32_t rows;   // rows of the scaled page left from `out`
    uint32_t width;  // the scaled page's width
    J_COLOR_SPACE stored;
    J_COLOR_SPACE shown;
};

// One strip into its rows of the scaled page; 0 when done, else the message is set.
// Only plain data lives here, so leaving by longjmp skips no destructor.
int DecodeStrip(const uint8_t* tables, unsigned long tablesSize, const uint8_t* data,
                unsigned long size, int denominator, const StripTarget& target, JpegError& error) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnJpegError;
    error.manager.output_message = Quiet;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return 1;
    }
    jpeg_create_decompress(&info);
    if (tables != nullptr && tablesSize > 0) {
        jpeg_mem_src(&info, tables, tablesSize);
        jpeg_read_header(&info, FALSE);
    }
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    info.jpeg_color_space = target.stored;
    info.out_color_space = target.shown;
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(denominator);
    jpeg_start_decompress(&info);
    if (info.output_width != target.width) {
        std::snprintf(error.message, sizeof error.message, "a strip is %u pixels wide, not %u",
                      info.output_width * denominator, target.width * denominator);
        jpeg_destroy_decompress(&info);
        return 1;
    }
    while (info.output_scanline < info.output_height && info.output_scanline < target.rows) {
        JSAMPROW row = target.out + target.stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_destroy_decompress(&info);  // (also ends a strip with more rows than the page)
    return 0;
}

}  // namespace

std::optional<Raster> DecodeJpegScaled(TiffFile& file, const PageInfo& info, int denominator,
                                       const std::string& where) {
    TIFF* tif = file.Handle();
    const bool colour = info.samplesPerPixel == 3 && (info.photometric == PHOTOMETRIC_YCBCR ||
                                                      info.photometric == PHOTOMETRIC_RGB);
    const bool gray = info.samplesPerPixel == 1 && info.photometric == PHOTOMETRIC_MINISBLACK;
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (info.compression != COMPRESSION_JPEG || info.bitsPerSample != 8 || (!colour && !gray) ||
        info.tiled || info.planarConfig != PLANARCONFIG_CONTIG || info.orientation > 1 ||
        (denominator != 2 && denominator != 4 && denominator != 8) || rowsPerStrip == 0 ||
        (rowsPerStrip < info.height && rowsPerStrip % static_cast<uint32_t>(denominator) != 0)) {
        return std::nullopt;
    }
    uint32_t tablesSize = 0;
    void* tables = nullptr;
    if (TIFFGetField(tif, TIFFTAG_JPEGTABLES, &tablesSize, &tables) != 1) {
        tablesSize = 0;
        tables = nullptr;
    }
    const auto scaled = [denominator](uint32_t n) {
        return (n + static_cast<uint32_t>(denominator) - 1) / static_cast<uint32_t>(denominator);
    };
    Raster raster;
    raster.width = scaled(info.width);
    raster.height = scaled(info.height);
    raster.bitsPerSample = 8;
    raster.samplesPerPixel = colour ? 3 : 1;
    raster.photometric = colour ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    raster.stride = size_t{raster.width} * raster.samplesPerPixel;
    raster.data.assign(raster.stride * raster.height, 0xFF);
    StripTarget target{};
    target.stride = raster.stride;
    target.width = raster.width;
    target.stored = info.photometric == PHOTOMETRIC_YCBCR ? JCS_YCbCr
                    : colour                              ? JCS_RGB
                                                          : JCS_GRAYSCALE;
    target.shown = colour ? JCS_RGB : JCS_GRAYSCALE;
    const uint32_t strips = TIFFNumberOfStrips(tif);
    const uint32_t scaledStrip = rowsPerStrip / static_cast<uint32_t>(denominator);
    std::vector<uint8_t> data;
    JpegError error{};
    for (uint32_t strip = 0; strip < strips; ++strip) {
        const uint64_t top = uint64_t{strip} * scaledStrip;
        if (top >= raster.height) {
            break;
        }
        const uint64_t size = std::min<uint64_t>(TIFFGetStrileByteCount(tif, strip), file.Size());
        data.resize(size);
        if (size == 0 ||
            TIFFReadRawStrip(tif, strip, data.data(), static_cast<tmsize_t>(size)) < 0) {
            const std::string why = file.TakeError();
            throw Error(errors::kDamagedFile, where + ": strip " + std::to_string(strip + 1) +
                                                  " cannot be read" +
                                                  (why.empty() ? "" : " (" + why + ")"));
        }
        target.out = raster.data.data() + raster.stride * top;
        target.rows = static_cast<uint32_t>(raster.height - top);
        if (DecodeStrip(static_cast<const uint8_t*>(tables), tablesSize, data.data(), size,
                        denominator, target, error) != 0) {
            throw Error(errors::kDamagedFile, where + ": JPEG data of strip " +
                                                  std::to_string(strip + 1) +
                                                  " cannot be decoded (" + error.message + ")");
        }
    }
    return raster;
}

}  // namespace folio::engine
