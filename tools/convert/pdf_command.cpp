#include "pdf_command.h"

#include <memory>

#include "argument_list.h"
#include "command_files.h"
#include "engine/write/pdf_writer.h"
#include "export_command.h"
#include "skipped_pages.h"
#include "usage_error.h"
#include "writing_commands.h"

namespace folio::convert {

int RunPdf(const std::vector<std::string>& args) {
    const ArgumentList list(
        args, {"--rotate", "-o", "--output-dir"},
        {"--overwrite", "--recursive", "--skip-damaged", "--strict", "--verify"});
    if (const auto batch = BatchRequestFrom(list, BatchFormat::Pdf)) {
        if (list.Has("-o")) {
            throw UsageError("give either -o OUT.pdf or --output-dir DIR, not both");
        }
        return RunBatch(*batch);
    }
    if (list.Positional().empty()) {
        throw UsageError("pdf needs at least one document to read");
    }
    if (!list.Has("-o") || list.Value("-o").empty()) {
        throw UsageError("pdf needs -o OUT.pdf, the file to write");
    }
    const int angle = ParseTurn(list);
    const std::string target = list.Value("-o");
    const bool overwrite = list.Has("--overwrite");
    InputFiles(list.Positional()).CheckTarget(target, overwrite);
    std::vector<std::unique_ptr<engine::EngineDocument>> documents;
    std::vector<const engine::PageSource*> sources;
    int pages = 0;
    for (const std::string& input : list.Positional()) {
        documents.push_back(OpenDocument(input));
        TurnAllPages(*documents.back(), angle);
        sources.push_back(documents.back().get());
        pages += documents.back()->PageCount();
    }
    std::vector<engine::SkippedPage> skipped;
    WithPageProgress(pages, [&](const engine::Progress& progress) {
        engine::WritePdf(sources, target, TargetOptions(overwrite),
                         list.Has("--skip-damaged") ? &skipped : nullptr, DamageChecksFrom(list),
                         progress);
    });
    return FinishWriting(target, list.Positional(), sources, pages, skipped, SkipKind::Notice);
}

}  // namespace folio::convert
