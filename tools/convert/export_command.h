#pragma once

#include <functional>
#include <string>
#include <vector>

namespace folio::engine {
class EngineDocument;
}

namespace folio::convert {

class ArgumentList;

// The angle of `--rotate` (90, -90 or 180), 0 when absent; UsageError otherwise.
int ParseTurn(const ArgumentList& list);
// Turns every page of `document` clockwise by `angle` degrees (0: none).
void TurnAllPages(engine::EngineDocument& document, int angle);
// Runs `work`, which writes `pages` pages, with a progress line on a terminal
// for long documents.
void WithPageProgress(int pages, const std::function<void()>& work);

// `export FILE OUT.tiff [--rotate 90|-90|180]`: every page, turned as asked, to a
// multi-page TIFF through the document's SaveAs.
int RunExport(const std::vector<std::string>& args);

}  // namespace folio::convert
