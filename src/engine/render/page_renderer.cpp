// Rendering a region of a page as shown: the geometry of a page at a zoom, the
// resampled and rotated region, and JPEG pages decoded small by libjpeg's scaled
// DCT.

#include "engine/render/page_renderer.h"

#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/image/raster_transforms.h"
#include "engine/image/resample.h"
#include "engine/tiff/page_directory.h"
#include "engine/tiff/tiff_io.h"
#include "engine/work/executor.h"

namespace folio::engine {

namespace {

void SetShownSize(const PageInfo& info, RenderGeometry& g) {
    const double width = info.width * g.scaleX;
    const double height = info.height * g.scaleY;
    const bool odd = g.quarterTurns % 2 == 1;
    g.shownWidth = odd ? height : width;
    g.shownHeight = odd ? width : height;
}

}  // namespace

RenderGeometry ScaleGeometry(const PageInfo& info, int quarterTurns, double scale) {
    RenderGeometry g;
    g.quarterTurns = NormalQuarterTurns(quarterTurns);
    g.scaleX = scale;
    g.scaleY = scale;
    SetShownSize(info, g);
    return g;
}

RenderGeometry ComputeGeometry(const PageInfo& info, int quarterTurns, double zoomX, double zoomY,
                               double dpiX, double dpiY) {
    RenderGeometry g;
    g.quarterTurns = NormalQuarterTurns(quarterTurns);
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

// Where one strip or tile goes in the scaled page.
struct ChunkTarget {
    uint8_t* out;      // the chunk's first row and column in the scaled page
    size_t stride;     // bytes per row of the scaled page
    uint32_t rows;     // rows of the scaled page left from `out`
    uint32_t width;    // the chunk's own scaled width
    uint32_t columns;  // of these, the columns inside the page
    int samples;
    J_COLOR_SPACE stored;
    J_COLOR_SPACE shown;
};

// One strip or tile into its place in the scaled page, through `row` (room for one
// scaled row of the chunk) when only part of each row lies inside the page; 0 when
// done, else the message is set. Only plain data lives here, so leaving by longjmp
// skips no destructor.
int DecodeChunk(const uint8_t* tables, unsigned long tablesSize, const uint8_t* data,
                unsigned long size, int denominator, const ChunkTarget& target, uint8_t* row,
                JpegError& error) {
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
        std::snprintf(error.message, sizeof error.message, "it is %u pixels wide, not %u",
                      info.output_width * denominator, target.width * denominator);
        jpeg_destroy_decompress(&info);
        return 1;
    }
    const size_t bytes = size_t{target.columns} * static_cast<size_t>(target.samples);
    while (info.output_scanline < info.output_height && info.output_scanline < target.rows) {
        uint8_t* out = target.out + target.stride * info.output_scanline;
        JSAMPROW into = target.columns == target.width ? out : row;
        jpeg_read_scanlines(&info, &into, 1);
        if (into != out) {
            std::memcpy(out, into, bytes);
        }
    }
    jpeg_destroy_decompress(&info);  // (also ends a chunk with more rows than the page)
    return 0;
}

// A strip's or tile's compressed bytes and its place in the scaled page.
struct Chunk {
    std::vector<uint8_t> data;
    uint32_t top = 0;  // scaled rows and columns
    uint32_t left = 0;
};

// The chunks of the current page, read in order through the one libtiff handle.
std::vector<Chunk> ReadChunks(TiffFile& file, const PageInfo& info, uint32_t chunkWidth,
                              uint32_t chunkHeight, uint32_t denominator,
                              const std::string& where) {
    TIFF* tif = file.Handle();
    const uint32_t count = info.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    const uint32_t across = info.tiled ? (info.width + chunkWidth - 1) / chunkWidth : 1;
    std::vector<Chunk> chunks;
    for (uint32_t index = 0; index < count; ++index) {
        Chunk chunk;
        const uint64_t top = uint64_t{index / across} * chunkHeight;
        if (top >= info.height) {
            break;
        }
        chunk.top = static_cast<uint32_t>(top / denominator);
        chunk.left = (index % across) * chunkWidth / denominator;
        const uint64_t size = std::min<uint64_t>(TIFFGetStrileByteCount(tif, index), file.Size());
        chunk.data.resize(size);
        const tmsize_t read =
            size == 0 ? -1
            : info.tiled
                ? TIFFReadRawTile(tif, index, chunk.data.data(), static_cast<tmsize_t>(size))
                : TIFFReadRawStrip(tif, index, chunk.data.data(), static_cast<tmsize_t>(size));
        if (read < 0) {
            const std::string why = file.TakeError();
            throw Error(errors::kDamagedFile, where + ": " + (info.tiled ? "tile " : "strip ") +
                                                  std::to_string(index + 1) + " cannot be read" +
                                                  (why.empty() ? "" : " (" + why + ")"));
        }
        chunks.push_back(std::move(chunk));
    }
    return chunks;
}

}  // namespace

std::optional<Raster> DecodeJpegScaled(TiffFile& file, const PageInfo& info, int denominator,
                                       const std::string& where) {
    TIFF* tif = file.Handle();
    const bool colour = info.samplesPerPixel == 3 && (info.photometric == PHOTOMETRIC_YCBCR ||
                                                      info.photometric == PHOTOMETRIC_RGB);
    const bool gray = info.samplesPerPixel == 1 && info.photometric == PHOTOMETRIC_MINISBLACK;
    const auto d = static_cast<uint32_t>(denominator);
    uint32_t chunkWidth = info.width;
    uint32_t chunkHeight = 0;
    if (info.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &chunkWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &chunkHeight);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &chunkHeight);
        chunkHeight = std::min(chunkHeight, info.height);
    }
    // Each chunk must start on a whole scaled row and column of the page.
    const bool placed = chunkWidth > 0 && chunkHeight > 0 &&
                        (chunkHeight == info.height || chunkHeight % d == 0) &&
                        (!info.tiled || chunkWidth % d == 0);
    if (info.compression != COMPRESSION_JPEG || info.bitsPerSample != 8 || (!colour && !gray) ||
        info.planarConfig != PLANARCONFIG_CONTIG || info.orientation > 1 ||
        (denominator != 2 && denominator != 4 && denominator != 8) || !placed) {
        return std::nullopt;
    }
    uint32_t tablesSize = 0;
    void* tables = nullptr;
    if (TIFFGetField(tif, TIFFTAG_JPEGTABLES, &tablesSize, &tables) != 1) {
        tablesSize = 0;
        tables = nullptr;
    }
    const auto scaled = [d](uint32_t n) { return (n + d - 1) / d; };
    Raster raster;
    raster.width = scaled(info.width);
    raster.height = scaled(info.height);
    raster.bitsPerSample = 8;
    raster.samplesPerPixel = colour ? 3 : 1;
    raster.photometric = colour ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    raster.stride = size_t{raster.width} * raster.samplesPerPixel;
    raster.data.assign(raster.stride * raster.height, 0xFF);
    const std::vector<Chunk> chunks = ReadChunks(file, info, chunkWidth, chunkHeight, d, where);

    // The chunks are independent JPEG streams: decoded side by side, one
    // decompressor per thread, each into its own part of the page.
    const J_COLOR_SPACE stored = info.photometric == PHOTOMETRIC_YCBCR ? JCS_YCbCr
                                 : colour                              ? JCS_RGB
                                                                       : JCS_GRAYSCALE;
    const uint32_t scaledChunkWidth = info.tiled ? chunkWidth / d : raster.width;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex failureMutex;
    std::string failure;
    const auto work = [&] {
        JpegError error{};
        std::vector<uint8_t> row(size_t{scaledChunkWidth} * raster.samplesPerPixel);
        for (size_t i = next++; i < chunks.size() && !failed; i = next++) {
            const Chunk& chunk = chunks[i];
            ChunkTarget target{};
            target.out = raster.data.data() + raster.stride * chunk.top +
                         size_t{chunk.left} * raster.samplesPerPixel;
            target.stride = raster.stride;
            target.rows = raster.height - chunk.top;
            target.width = scaledChunkWidth;
            target.columns = std::min(scaledChunkWidth, raster.width - chunk.left);
            target.samples = raster.samplesPerPixel;
            target.stored = stored;
            target.shown = colour ? JCS_RGB : JCS_GRAYSCALE;
            if (DecodeChunk(static_cast<const uint8_t*>(tables), tablesSize, chunk.data.data(),
                            chunk.data.size(), denominator, target, row.data(), error) != 0) {
                std::lock_guard lock(failureMutex);
                if (!failed.exchange(true)) {
                    failure = where + ": JPEG data of " + (info.tiled ? "tile " : "strip ") +
                              std::to_string(i + 1) + " cannot be decoded (" + error.message + ")";
                }
            }
        }
    };
    // Helpers that find every chunk taken when they start end at once.
    TaskGroup helpers;
    const size_t count = std::min<size_t>(helpers.GetExecutor().Workers(), chunks.size() / 4);
    for (size_t i = 0; i < count; ++i) {
        helpers.Run(work);
    }
    work();
    helpers.Wait();
    if (failed) {
        throw Error(errors::kDamagedFile, failure);
    }
    return raster;
}

}  // namespace folio::engine
