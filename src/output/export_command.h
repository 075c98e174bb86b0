#pragma once

#include "imaging/document.h"
#include "output/output_ports.h"

namespace folio::output {

// The export command: asks for a file in the save dialog, opened in the folder of the
// last export, and writes `document` there as a TIFF file. ".tiff" is appended unless
// the chosen name already ends in ".tiff" or ".tif"; a file of the appended name that
// exists is only replaced after the user says so. The folder is remembered once the
// file is written. Does nothing while no document is loaded. A failed export raises
// folio::Error with the target untouched; one cancelled from its progress ends
// quietly.
void ExportToTiff(OutputPorts& ports, bool documentLoaded, imaging::Document* document);

}  // namespace folio::output
