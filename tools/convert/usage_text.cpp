#include "usage_text.h"

namespace folio::convert {

const char* const kUsageText =
    "Usage: foliolens-convert COMMAND ...\n"
    "Reads .mdi and TIFF documents, renders their pages and writes them as TIFF or PDF.\n"
    "\n"
    "  info [--json] FILE...\n"
    "      Each file's format and page count, and per page its size, resolution,\n"
    "      colour model, bits per sample, compression and whether it can be decoded.\n"
    "  render FILE --page N (--zoom Z [--dpi D] | --width PX | --scale S) -o OUT.png\n"
    "      Renders page N (from 1) to a PNG file: at zoom Z of its physical size on a\n"
    "      screen of D dots per inch (default 96), fitted to PX pixels wide, or with\n"
    "      every image pixel as S x S output pixels (--scale 1 gives the pixels as\n"
    "      they are). The PNG has 1 to 100000 pixels a side and at most 67108864\n"
    "      pixels in all (8192 x 8192).\n"
    "  export FILE OUT.tiff [--rotate 90|-90|180]\n"
    "      Writes every page, turned clockwise by the angle if given, to a multi-page\n"
    "      TIFF: black and white pages as CCITT G4, others without loss.\n"
    "  pdf FILE... -o OUT.pdf [--rotate 90|-90|180] [--overwrite]\n"
    "      Writes every page of the files, in order, to one PDF, each at its own\n"
    "      size: CCITT and JPEG pages as they are stored, others without loss.\n"
    "      An existing OUT.pdf is replaced only with --overwrite.\n"
    "  pdf|export --output-dir DIR [--recursive] [--overwrite] [--rotate A] INPUT...\n"
    "      Converts each input file to its own PDF (or .tiff for export) in DIR,\n"
    "      several at once; with --recursive also every .mdi, .tif and .tiff under\n"
    "      an input folder, keeping its folder layout. Failures are named and the\n"
    "      rest go on; existing outputs are kept unless --overwrite is given.\n"
    "  --help\n"
    "      Shows this text.\n"
    "\n"
    "Exit status: 0 on success, 1 when a file cannot be read or written, 2 for a\n"
    "command line that makes no sense, 130 when interrupted (nothing partial is left).\n";

}  // namespace folio::convert
