// Writes a text-like multi-page TIFF for the real-window smoke test:
// make_test_document OUTPUT [PAGES].
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "support/test_document.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_test_document OUTPUT [PAGES]\n");
        return 2;
    }
    const int pages = argc == 3 ? std::atoi(argv[2]) : 3;
    if (pages < 1) {
        std::fprintf(stderr, "make_test_document: PAGES must be a positive number\n");
        return 2;
    }
    try {
        folio::viewer::testing::WriteTextDocument(argv[1], pages, 2550, 3300, 300.0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_test_document: %s\n", e.what());
        return 1;
    }
    return 0;
}
