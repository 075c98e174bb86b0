#include "engine/image_turn.h"

#include <cstring>

namespace folio::engine {

RenderedImage TurnImage(const RenderedImage& image, int quarterTurns) {
    const int turns = ((quarterTurns % 4) + 4) % 4;
    if (turns == 0) {
        return image;
    }
    const size_t pixelBytes = image.format == RenderedImage::Format::Gray8 ? 1 : 4;
    RenderedImage out;
    out.format = image.format;
    out.width = turns == 2 ? image.width : image.height;
    out.height = turns == 2 ? image.height : image.width;
    out.stride = (static_cast<size_t>(out.width) * pixelBytes + 3) & ~size_t{3};
    out.pixels.assign(out.stride * static_cast<size_t>(out.height), 0);
    const int w = image.width;
    const int h = image.height;
    for (int v = 0; v < out.height; ++v) {
        uint8_t* to = out.pixels.data() + static_cast<size_t>(v) * out.stride;
        for (int u = 0; u < out.width; ++u) {
            int x = u;
            int y = v;
            if (turns == 1) {  // out(u, v) = in(v, h - 1 - u)
                x = v, y = h - 1 - u;
            } else if (turns == 2) {
                x = w - 1 - u, y = h - 1 - v;
            } else {  // out(u, v) = in(w - 1 - v, u)
                x = w - 1 - v, y = u;
            }
            std::memcpy(to + static_cast<size_t>(u) * pixelBytes,
                        image.pixels.data() + static_cast<size_t>(y) * image.stride +
                            static_cast<size_t>(x) * pixelBytes,
                        pixelBytes);
        }
    }
    return out;
}

}  // namespace folio::engine
