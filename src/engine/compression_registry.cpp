#include "engine/compression_registry.h"

#include <tiffio.h>

namespace folio::engine {
namespace {

struct KnownScheme {
    uint16_t number;
    const char* name;
    // The one place to plug in a decoder for a scheme libtiff does not have.
    CustomPageDecoder decoder;
};

// Names as users and other tools know them. The .mdi format's own schemes
// (34718 to 34720) are listed so that their pages open and are named; none of
// them has a decoder yet.
constexpr KnownScheme kSchemes[] = {
    {1, "None", nullptr},
    {2, "CCITT RLE", nullptr},
    {3, "CCITT G3", nullptr},
    {4, "CCITT G4", nullptr},
    {5, "LZW", nullptr},
    {6, "Old-style JPEG", nullptr},
    {7, "JPEG", nullptr},
    {8, "Deflate", nullptr},
    {9, "JBIG (T.85)", nullptr},
    {10, "JBIG2 (T.43)", nullptr},
    {32766, "NeXT", nullptr},
    {32771, "CCITT RLEW", nullptr},
    {32773, "PackBits", nullptr},
    {32809, "ThunderScan", nullptr},
    {32895, "IT8 CT padding", nullptr},
    {32896, "IT8 line work", nullptr},
    {32897, "IT8 monochrome picture", nullptr},
    {32898, "IT8 binary line art", nullptr},
    {32908, "Pixar film", nullptr},
    {32909, "Pixar log", nullptr},
    {32946, "Deflate (old code)", nullptr},
    {32947, "Kodak DCS", nullptr},
    {34661, "JBIG", nullptr},
    {34676, "SGI LogLuv", nullptr},
    {34677, "SGI LogLuv 24", nullptr},
    {34712, "JPEG 2000", nullptr},
    {34718, "BLC", nullptr},
    {34719, "MDI compression 34719", nullptr},
    {34720, "MDI compression 34720", nullptr},
    {34887, "LERC", nullptr},
    {34925, "LZMA", nullptr},
    {50000, "Zstandard", nullptr},
    {50001, "WebP", nullptr},
    {50002, "JPEG XL", nullptr},
};

}  // namespace

CompressionScheme LookUpCompression(uint16_t number) {
    CompressionScheme scheme;
    scheme.number = number;
    scheme.name = "compression " + std::to_string(number);
    for (const auto& known : kSchemes) {
        if (known.number == number) {
            scheme.name = known.name;
            scheme.decoder = known.decoder;
            break;
        }
    }
    scheme.decodable = scheme.decoder != nullptr || TIFFIsCODECConfigured(number) == 1;
    return scheme;
}

std::string UnsupportedCompressionText(const CompressionScheme& scheme) {
    const std::string number = std::to_string(scheme.number);
    if (scheme.name.find(number) != std::string::npos) {
        return scheme.name + " is not supported";
    }
    return scheme.name + " compression (" + number + ") is not supported";
}

}  // namespace folio::engine
