#include "page_description.h"

#include <cstdio>

namespace folio::convert {
namespace {

std::string Dpi(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

std::string PhotometricName(uint16_t photometric) {
    switch (photometric) {
        case 0:
            return "MinIsWhite";
        case 1:
            return "MinIsBlack";
        case 2:
            return "RGB";
        case 3:
            return "Palette";
        case 4:
            return "Mask";
        case 5:
            return "CMYK";
        case 6:
            return "YCbCr";
        case 8:
            return "CIELab";
        case 9:
            return "ICCLab";
        case 10:
            return "ITULab";
        default:
            return "photometric " + std::to_string(photometric);
    }
}

std::string DescribePage(int number, const engine::PageInfo& info) {
    std::string line = "  page " + std::to_string(number) + ": " + std::to_string(info.width) +
                       " x " + std::to_string(info.height) + " pixels, ";
    if (info.xDpi > 0 && info.yDpi > 0) {
        line += Dpi(info.xDpi) + " x " + Dpi(info.yDpi) + " dpi, ";
    } else {
        line += "no resolution, ";
    }
    line += PhotometricName(info.photometric) + ", ";
    if (info.samplesPerPixel > 1) {
        line += std::to_string(info.samplesPerPixel) + " x ";
    }
    line += std::to_string(info.bitsPerSample) + (info.bitsPerSample == 1 ? " bit, " : " bits, ");
    line += info.compressionName + " (" + std::to_string(info.compression) + ")";
    if (!info.decodable) {
        line += ", cannot be decoded";
    } else if (!info.damage.empty()) {
        line += ", damaged (" + info.damage + ")";
    }
    return line;
}

}  // namespace folio::convert
