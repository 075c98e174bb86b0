#pragma once

#include "imaging/document.h"
#include "output/output_ports.h"

namespace folio::output {

// The print command: the print dialog, then `document` printed on the chosen printer
// with the chosen pages and copies. Does nothing while no document is loaded; a
// cancel (of the dialog or of the job's progress) ends it quietly; a choice that
// matches no installed printer prints nothing and says which printer was not found.
// Any other failure raises folio::Error for the caller to report.
void PrintDocument(OutputPorts& ports, bool documentLoaded, imaging::Document* document);

}  // namespace folio::output
