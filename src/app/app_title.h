#pragma once

namespace folio::app {

// The window caption, the title of message boxes that have none of their own, and the
// application name the per-user settings are stored under.
inline constexpr char16_t kAppTitle[] = u"FolioLens";

}  // namespace folio::app
