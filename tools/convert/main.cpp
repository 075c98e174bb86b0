// foliolens-convert: the imaging engine on the command line.
#include <malloc.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "command_files.h"
#include "common/error.h"
#include "export_command.h"
#include "info_command.h"
#include "pdf_command.h"
#include "render_command.h"
#include "sys/memory.h"
#include "usage_error.h"
#include "usage_text.h"
#include "writing_commands.h"

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

// Standard output, when it cannot take what was printed (a full disk, a closed
// pipe), fails the run: a report cut short must not pass for a whole one. An
// interruption keeps its own status.
int FinishStandardOutput(int status) {
    errno = 0;
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    const int err = errno;
    if (!failed) {
        return status;
    }
    std::string message = "cannot write to standard output";
    if (err != 0) {
        message += std::string(": ") + std::strerror(err);
    }
    std::fprintf(stderr, "foliolens-convert: %s\n", message.c_str());
    return status == folio::convert::kInterruptedStatus || status == 2 ? status : 1;
}

int RunAndReport(int argc, char** argv) {
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

}  // namespace

int main(int argc, char** argv) {
    // Writers free and take back page-sized buffers one after another; handing the
    // top of the heap back to the system each time costs more than the copying.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
    // One page decoded and scaled once: fresh memory is most of the cost, and huge
    // pages make it a fraction.
    folio::sys::UseHugePageBuffers(true);
    // Past a file-size limit a write then fails with EFBIG, so that the temporary
    // file is removed and the reason named, instead of the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);
    return FinishStandardOutput(RunAndReport(argc, argv));
}
