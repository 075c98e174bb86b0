#pragma once

namespace folio::engine {

// Loads what qpdf needs to write a PDF (MD5, from nettle) if not yet loaded; other
// threads calling into it meanwhile wait. Writing a PDF loads it anyway: calling
// this on another thread while documents are read takes the load out of the way.
void LoadPdfCrypto();

}  // namespace folio::engine
