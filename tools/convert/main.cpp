// foliolens-convert: the imaging engine on the command line.
#include <malloc.h>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "common/error.h"
#include "document_opener.h"
#include "export_command.h"
#include "info_command.h"
#include "pdf_command.h"
#include "render_command.h"
#include "sys/memory.h"
#include "usage_error.h"
#include "usage_text.h"

namespace {

int Fail(int status, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "foliolens-convert: %s\n", folio::convert::OneLine(message).c_str());
    return status;
}

int Run(const std::vector<std::string>& args) {
    using namespace folio::convert;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsageText, stdout);
            return 0;
        }
    }
    if (args.empty()) {
        throw UsageError("no command given");
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "info") {
        return RunInfo(rest);
    }
    if (command == "render") {
        return RunRender(rest);
    }
    if (command == "export") {
        return RunExport(rest);
    }
    if (command == "pdf") {
        return RunPdf(rest);
    }
    throw UsageError("unknown command \"" + command + "\"");
}

}  // namespace

int main(int argc, char** argv) {
    // Writers free and take back page-sized buffers one after another; handing the
    // top of the heap back to the system each time costs more than the copying.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
    // One page decoded and scaled once: fresh memory is most of the cost, and huge
    // pages make it a fraction.
    folio::sys::UseHugePageBuffers(true);
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const folio::convert::UsageError& e) {
        return Fail(2, std::string(e.what()) + " (see foliolens-convert --help)");
    } catch (const folio::Error& e) {
        if (folio::convert::Interrupted()) {
            return Fail(folio::convert::kInterruptedStatus, "interrupted; no file was left behind");
        }
        return Fail(1, e.Description());
    } catch (const std::bad_alloc&) {
        return Fail(1, "out of memory");
    } catch (const std::exception& e) {
        return Fail(1, e.what());
    }
}
