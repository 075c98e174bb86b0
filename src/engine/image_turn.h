#pragma once

#include "engine/rendered_image.h"

namespace folio::engine {

// The image turned clockwise by `quarterTurns` quarter turns (any integer).
RenderedImage TurnImage(const RenderedImage& image, int quarterTurns);

}  // namespace folio::engine
