#include "info_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "argument_list.h"
#include "common/error.h"
#include "document_opener.h"
#include "page_description.h"
#include "usage_error.h"

namespace folio::convert {
namespace {

QJsonObject PageJson(const engine::PageInfo& info) {
    return {{"width", static_cast<qint64>(info.width)},
            {"height", static_cast<qint64>(info.height)},
            {"xres", info.xDpi},
            {"yres", info.yDpi},
            {"photometric", QString::fromStdString(PhotometricName(info.photometric))},
            {"bits", info.bitsPerSample},
            {"samples", info.samplesPerPixel},
            {"compression", info.compression},
            {"compression_name", QString::fromStdString(info.compressionName)},
            {"decodable", info.decodable}};
}

// The file's report; `ok` becomes false when it could not be read. A file name
// that is not UTF-8 gets U+FFFD for its stray bytes, so the text stays valid JSON.
QJsonObject FileJson(const std::string& path, bool& ok) {
    QJsonObject file{{"file", QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()))}};
    try {
        const auto document = OpenDocument(path);
        QJsonArray pages;
        for (int page = 0; page < document->PageCount(); ++page) {
            pages.append(PageJson(document->Info(page)));
        }
        file.insert("format", QString::fromStdString(document->FormatName()));
        file.insert("pages", pages);
    } catch (const Error& e) {
        file.insert("error", QString::fromStdString(OneLine(e.Description())));
        std::fprintf(stderr, "foliolens-convert: %s\n", OneLine(e.Description()).c_str());
        ok = false;
    }
    return file;
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
        QJsonArray files;
        for (const std::string& path : list.Positional()) {
            files.append(FileJson(path, allOk));
        }
        std::printf("%s\n", QJsonDocument(files).toJson(QJsonDocument::Compact).constData());
    } else {
        for (const std::string& path : list.Positional()) {
            allOk = ReportText(path) && allOk;
        }
    }
    return allOk ? 0 : 1;
}

}  // namespace folio::convert
