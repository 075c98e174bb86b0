#pragma once

#include <memory>
#include <string>

#include "engine/engine_document.h"

namespace folio::convert {

// Opens the document at `path` (as given on the command line); raises
// folio::Error naming the file and what is wrong with it.
std::unique_ptr<engine::EngineDocument> OpenDocument(const std::string& path);

// `text` made fit for one line of a message on a terminal: line breaks as spaces,
// other controls and stray bytes escaped (TerminalText).
std::string OneLine(std::string text);

}  // namespace folio::convert
