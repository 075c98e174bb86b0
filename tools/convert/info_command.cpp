#include "info_command.h"

#include <cstdio>

#include "argument_list.h"
#include "common/error.h"
#include "document_opener.h"
#include "json_writer.h"
#include "page_description.h"
#include "usage_error.h"

namespace folio::convert {
namespace {

void WritePageJson(JsonWriter& json, const engine::PageInfo& info) {
    json.BeginObject();
    json.Key("width");
    json.Integer(info.width);
    json.Key("height");
    json.Integer(info.height);
    json.Key("xres");
    json.Number(info.xDpi);
    json.Key("yres");
    json.Number(info.yDpi);
    json.Key("photometric");
    json.String(PhotometricName(info.photometric));
    json.Key("bits");
    json.Integer(info.bitsPerSample);
    json.Key("samples");
    json.Integer(info.samplesPerPixel);
    json.Key("compression");
    json.Integer(info.compression);
    json.Key("compression_name");
    json.String(info.compressionName);
    json.Key("decodable");
    json.Bool(info.decodable);
    json.EndObject();
}

// Returns whether the file could be read.
bool ReportJson(JsonWriter& json, const std::string& path) {
    json.BeginObject();
    json.Key("file");
    json.String(path);
    bool ok = true;
    try {
        const auto document = OpenDocument(path);
        json.Key("format");
        json.String(document->FormatName());
        json.Key("pages");
        json.BeginArray();
        for (int page = 0; page < document->PageCount(); ++page) {
            WritePageJson(json, document->Info(page));
        }
        json.EndArray();
    } catch (const Error& e) {
        json.Key("error");
        json.String(OneLine(e.Description()));
        std::fprintf(stderr, "foliolens-convert: %s\n", OneLine(e.Description()).c_str());
        ok = false;
    }
    json.EndObject();
    return ok;
}

bool ReportText(const std::string& path) {
    try {
        const auto document = OpenDocument(path);
        const int pages = document->PageCount();
        std::string text = path + ": " + document->FormatName() + ", " + std::to_string(pages) +
                           (pages == 1 ? " page\n" : " pages\n");
        for (int page = 0; page < pages; ++page) {
            text += DescribePage(page + 1, document->Info(page)) + "\n";
        }
        std::fputs(text.c_str(), stdout);
        return true;
    } catch (const Error& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "foliolens-convert: %s\n", OneLine(e.Description()).c_str());
        return false;
    }
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
    const ArgumentList list(args, {}, {"--json"});
    if (list.Positional().empty()) {
        throw UsageError("info needs at least one file");
    }
    bool allOk = true;
    if (list.Has("--json")) {
        JsonWriter json;
        json.BeginArray();
        for (const std::string& path : list.Positional()) {
            allOk = ReportJson(json, path) && allOk;
        }
        json.EndArray();
        std::printf("%s\n", json.Text().c_str());
    } else {
        for (const std::string& path : list.Positional()) {
            allOk = ReportText(path) && allOk;
        }
    }
    return allOk ? 0 : 1;
}

}  // namespace folio::convert
