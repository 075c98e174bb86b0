#pragma once

#include <string>

namespace folio::bench {

// Page size of the benchmark documents: A4 at 300 dpi.
inline constexpr unsigned kA4Width = 2480;
inline constexpr unsigned kA4Height = 3508;

// Writes a document of `pages` bilevel 300-dpi A4 pages of text-like content,
// CCITT G4 compressed, to `path`. The page is encoded once and its compressed data
// repeated, so large documents are quick to make. Raises std::runtime_error.
void WriteG4Document(const std::string& path, int pages);

// Writes a document of `pages` 8-bit gray pages, `side` pixels square at 300 dpi,
// Deflate compressed in strips, to `path`: ramps across every row that compress
// about a thousand times, so a page of a gigabyte decoded takes a megabyte on disk.
// Raises std::runtime_error.
void WriteLargeGrayDocument(const std::string& path, int pages, unsigned side);

// A fresh temporary folder for the run's inputs and outputs, removed at exit.
const std::string& BenchFolder();

}  // namespace folio::bench
