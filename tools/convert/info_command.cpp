#include "info_command.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "argument_list.h"
#include "command_files.h"
#include "common/error.h"
#include "common/utf8.h"
#include "engine/tiff/located_error.h"
#include "engine/tiff/page_directory.h"
#include "page_description.h"
#include "usage_error.h"

namespace folio::convert {
namespace {

using Json = nlohmann::json;

Json PageJson(const engine::PageInfo& info) {
    return {{"width", info.width},
            {"height", info.height},
            {"xres", info.xDpi},
            {"yres", info.yDpi},
            {"photometric", PhotometricName(info.photometric)},
            {"bits", info.bitsPerSample},
            {"samples", info.samplesPerPixel},
            {"compression", info.compression},
            {"compression_name", ShownUtf8(info.compressionName)},
            {"decodable", info.decodable},
            {"damage", info.damage.empty() ? Json(nullptr) : Json(ShownUtf8(info.damage))}};
}

// The pages that can be reached: all but the last when the page chain breaks.
int ReadablePages(const engine::EngineDocument& document) {
    const int pages = document.PageCount();
    return pages > 0 && !document.Info(pages - 1).chainBreak.empty() ? pages - 1 : pages;
}

// Why the pages after the readable ones cannot be read, or "".
std::string ChainBreak(const engine::EngineDocument& document, const std::string& path) {
    const int readable = ReadablePages(document);
    if (readable == document.PageCount()) {
        return {};
    }
    return engine::PageLocation(path, readable) + ": " +
           engine::ChainBreakReason(document.Info(readable));
}

void ReportError(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "foliolens-convert: %s\n", OneLine(message).c_str());
}

// With `verify` every readable page is decoded, so that damage in its data is
// known besides what its directory shows; false, each reason reported, when a page
// that looked decodable cannot be decoded after all.
bool VerifyPages(const engine::EngineDocument& document, bool verify) {
    bool ok = true;
    for (int page = 0; verify && page < ReadablePages(document); ++page) {
        try {
            if (document.Info(page).decodable) {
                document.Verify(page);
            }
        } catch (const Error& e) {
            ReportError(e.Description());
            ok = false;
        }
    }
    return ok;
}

// The file's report; `ok` becomes false when it could not be read, or only in part.
Json FileJson(const std::string& path, bool verify, bool& ok) {
    Json file{{"file", ShownUtf8(path)}};
    try {
        const auto document = OpenDocument(path);
        ok = VerifyPages(*document, verify) && ok;
        Json pages = Json::array();
        for (int page = 0; page < ReadablePages(*document); ++page) {
            pages.push_back(PageJson(document->Info(page)));
        }
        file["format"] = document->FormatName();
        file["pages"] = std::move(pages);
        if (const std::string broken = ChainBreak(*document, path); !broken.empty()) {
            file["error"] = OneLine(broken);
            ReportError(broken);
            ok = false;
        }
    } catch (const Error& e) {
        file["error"] = OneLine(e.Description());
        std::fprintf(stderr, "foliolens-convert: %s\n", OneLine(e.Description()).c_str());
        ok = false;
    }
    return file;
}

bool ReportText(const std::string& path, bool verify) {
    try {
        const auto document = OpenDocument(path);
        const bool verified = VerifyPages(*document, verify);
        const int pages = ReadablePages(*document);
        const std::string broken = ChainBreak(*document, path);
        // Names and libtiff's texts reach the terminal only escaped.
        std::string text =
            TerminalText(path + ": " + document->FormatName() + ", " + std::to_string(pages) +
                         (pages == 1 ? " page" : " pages") + (broken.empty() ? "" : " readable")) +
            "\n";
        for (int page = 0; page < pages; ++page) {
            text += TerminalText(DescribePage(page + 1, document->Info(page))) + "\n";
        }
        std::fputs(text.c_str(), stdout);
        if (!broken.empty()) {
            ReportError(broken);
            return false;
        }
        return verified;
    } catch (const Error& e) {
        ReportError(e.Description());
        return false;
    }
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
    const ArgumentList list(args, {}, {"--json", "--verify"});
    const bool verify = list.Has("--verify");
    if (list.Positional().empty()) {
        throw UsageError("info needs at least one file");
    }
    bool allOk = true;
    if (list.Has("--json")) {
        Json files = Json::array();
        for (const std::string& path : list.Positional()) {
            files.push_back(FileJson(path, verify, allOk));
        }
        // Every text went in as ShownUtf8 (stray bytes as "\xFF"), so this is valid JSON.
        const std::string text = files.dump(-1, ' ', false, Json::error_handler_t::strict);
        std::printf("%s\n", text.c_str());
    } else {
        for (const std::string& path : list.Positional()) {
            allOk = ReportText(path, verify) && allOk;
        }
    }
    return allOk ? 0 : 1;
}

}  // namespace folio::convert
