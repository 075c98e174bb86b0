#pragma once

#include <cstdint>

namespace folio {

// An opaque reference to a top-level window, handed by the core to the dialogs that
// need an owner. Only the adapter that made it knows what it stands for; 0 is none.
using WindowHandle = std::uintptr_t;

}  // namespace folio
