#include "export_command.h"

#include "argument_list.h"
#include "command_files.h"
#include "engine/document/page_source.h"
#include "engine/write/tiff_writer.h"
#include "skipped_pages.h"
#include "usage_error.h"
#include "writing_commands.h"

namespace folio::convert {

std::optional<BatchRequest> BatchRequestFrom(const ArgumentList& list, BatchFormat format) {
    if (!list.Has("--output-dir")) {
        if (list.Has("--recursive")) {
            throw UsageError("--recursive goes with --output-dir");
        }
        return std::nullopt;
    }
    BatchRequest request;
    request.format = format;
    request.inputs = list.Positional();
    request.outputDir = list.Value("--output-dir");
    request.recursive = list.Has("--recursive");
    request.overwrite = list.Has("--overwrite");
    request.angle = ParseTurn(list);
    request.skipDamaged = list.Has("--skip-damaged");
    request.checks = DamageChecksFrom(list);
    // A batch that must hold no damaged page checks the data passed through as well.
    request.checks.verify = request.checks.verify || request.checks.strict;
    if (request.outputDir.empty()) {
        throw UsageError("--output-dir needs a folder");
    }
    if (request.inputs.empty()) {
        throw UsageError("--output-dir needs at least one file or folder to convert");
    }
    return request;
}

int RunExport(const std::vector<std::string>& args) {
    const ArgumentList list(
        args, {"--rotate", "--output-dir"},
        {"--recursive", "--overwrite", "--skip-damaged", "--strict", "--verify"});
    if (const auto batch = BatchRequestFrom(list, BatchFormat::Tiff)) {
        return RunBatch(*batch);
    }
    if (list.Positional().size() != 2) {
        throw UsageError("export needs a file and the TIFF file to write");
    }
    const int angle = ParseTurn(list);
    const std::string& input = list.Positional()[0];
    const std::string& target = list.Positional()[1];
    // An existing OUT.tiff is replaced, --overwrite or not (scripts rely on it);
    // the switch is taken so that one command line serves pdf and export.
    InputFiles({input}).CheckTarget(target, true);
    const auto document = OpenDocument(input);
    TurnAllPages(*document, angle);
    std::vector<engine::SkippedPage> skipped;
    WithPageProgress(document->PageCount(), [&](const engine::Progress& progress) {
        engine::WriteTiff(*document, target, {}, list.Has("--skip-damaged") ? &skipped : nullptr,
                          DamageChecksFrom(list), progress);
    });
    return FinishWriting(target, {input}, {document.get()}, document->PageCount(), skipped,
                         SkipKind::LeftOut);
}

}  // namespace folio::convert
