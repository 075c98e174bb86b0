#include "batch_command.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>

#include "command_files.h"
#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "engine/document/page_source.h"
#include "engine/tiff/located_error.h"
#include "engine/work/executor.h"
#include "engine/write/pdf_writer.h"
#include "engine/write/tiff_writer.h"
#include "skipped_pages.h"
#include "writing_commands.h"

namespace folio::convert {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Job {
    std::string input;
    fs::path output;
    // The input's own extension was kept in the output's name, as another input
    // has the same name but for its extension.
    bool extensionKept = false;
};

struct Failure {
    std::string input;
    std::string reason;
};

bool IsDocumentName(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".mdi" || ext == ".tif" || ext == ".tiff";
}

// Every input file as a job, and what cannot even be tried as a failure.
class JobList {
  public:
    explicit JobList(const BatchRequest& request)
        : request_(request), extension_(request.format == BatchFormat::Pdf ? ".pdf" : ".tiff") {}

    void Add(const std::string& input) {
        std::error_code error;
        if (!fs::is_directory(input, error)) {
            fs::path output = fs::path(request_.outputDir) / fs::path(input).filename();
            Push(input, output.replace_extension(extension_));
        } else if (!request_.recursive) {
            failures_.push_back({input, "is a folder; give --recursive to convert what is in it"});
        } else {
            AddFolder(input);
        }
    }

    // Inputs that would share an output name keep their own extension in it
    // ("a.mdi.pdf", "a.tif.pdf"); a name still shared then goes to none of them,
    // and each is reported.
    std::vector<Job> TakeJobs() {
        for (size_t i : SharedOutputs()) {
            Job& job = jobs_[i];
            job.output =
                job.output.parent_path() / (fs::path(job.input).filename().string() + extension_);
            job.extensionKept = true;
        }
        std::vector<bool> refused(jobs_.size(), false);
        for (size_t i : SharedOutputs()) {
            refused[i] = true;
            failures_.push_back({jobs_[i].input, "another input would also be written to \"" +
                                                     jobs_[i].output.string() +
                                                     "\"; neither is converted"});
        }
        std::vector<Job> kept;
        for (size_t i = 0; i < jobs_.size(); ++i) {
            if (!refused[i]) {
                kept.push_back(jobs_[i]);
            }
        }
        // In the order of their outputs, whatever order the folders were read in.
        std::sort(kept.begin(), kept.end(), [](const Job& a, const Job& b) {
            return a.output.lexically_normal() < b.output.lexically_normal();
        });
        return kept;
    }

    const std::vector<Failure>& Failures() const { return failures_; }

  private:
    void Push(const std::string& input, fs::path output) {
        jobs_.push_back({input, std::move(output)});
    }

    // The jobs whose output name another job has too.
    std::vector<size_t> SharedOutputs() const {
        std::map<fs::path, std::vector<size_t>> byOutput;
        for (size_t i = 0; i < jobs_.size(); ++i) {
            byOutput[jobs_[i].output.lexically_normal()].push_back(i);
        }
        std::vector<size_t> shared;
        for (const auto& [output, indexes] : byOutput) {
            if (indexes.size() > 1) {
                shared.insert(shared.end(), indexes.begin(), indexes.end());
            }
        }
        return shared;
    }

    // Document files under `top`, keeping their place relative to it. Links to
    // folders are not followed (no loops), and the output folder is left out. A
    // folder that cannot be read is named as a failure, and the rest is walked.
    void AddFolder(const fs::path& top) {
        std::vector<fs::path> folders{top};
        while (!folders.empty()) {
            const fs::path folder = std::move(folders.back());
            folders.pop_back();
            std::error_code error;
            fs::directory_iterator it(folder, error);
            for (; !error && it != fs::directory_iterator(); it.increment(error)) {
                const fs::directory_entry& entry = *it;
                std::error_code ignored;
                if (entry.is_directory(ignored)) {
                    if (!entry.is_symlink(ignored) &&
                        !fs::equivalent(entry.path(), request_.outputDir, ignored)) {
                        folders.push_back(entry.path());
                    }
                    continue;
                }
                if (entry.is_regular_file(ignored) && IsDocumentName(entry.path())) {
                    fs::path output =
                        fs::path(request_.outputDir) / entry.path().lexically_relative(top);
                    Push(entry.path().string(), output.replace_extension(extension_));
                }
            }
            if (error) {
                failures_.push_back({folder.string(), "cannot be read: " + error.message()});
            }
        }
    }

    const BatchRequest& request_;
    std::string extension_;
    std::vector<Job> jobs_;
    std::vector<Failure> failures_;
};

// Files done, pages and the rate: redrawn in place on a terminal, one plain line
// per file otherwise. Failures always get a line of their own on standard error.
class BatchProgress {
  public:
    BatchProgress(size_t total, const char* extension)
        : total_(total),
          extension_(extension),
          terminal_(::isatty(STDERR_FILENO) == 1),
          start_(Clock::now()) {}

    void Converted(const Job& job, int pages, const std::vector<engine::SkippedPage>& skipped,
                   const std::vector<engine::SkippedPage>& damaged, SkipKind kind) {
        std::lock_guard lock(mutex_);
        ++done_;
        pages_ += pages;
        extensionsKept_ += job.extensionKept ? 1 : 0;
        skipped_ += skipped.size();
        damaged_ += damaged.size();
        if ((!skipped.empty() || !damaged.empty()) && terminal_) {
            std::fputs("\r\033[K", stderr);
        }
        WarnSkipped(job.input, skipped, kind);
        WarnSkipped(job.input, damaged, SkipKind::Damaged);
        if (terminal_) {
            Redraw();
        } else {
            std::fprintf(stdout, "[%zu/%zu] %s -> %s (%d page%s)\n", done_, total_,
                         TerminalText(job.input).c_str(), TerminalText(job.output.string()).c_str(),
                         pages, pages == 1 ? "" : "s");
            std::fflush(stdout);
        }
    }

    void Failed(const std::string& input, const std::string& reason) {
        std::lock_guard lock(mutex_);
        ++done_;
        ++failed_;
        std::fprintf(stderr, "%sfoliolens-convert: %s: %s\n", terminal_ ? "\r\033[K" : "",
                     TerminalText(input).c_str(), OneLine(reason).c_str());
        if (terminal_) {
            Redraw();
        }
    }

    // The closing summary; returns the number of failures.
    size_t Finish(bool interrupted) {
        std::lock_guard lock(mutex_);
        if (terminal_) {
            std::fputs("\r\033[K", stderr);
        }
        const double seconds = Seconds();
        std::string skipped = skipped_ == 0 ? std::string()
                                            : ", " + std::to_string(skipped_) +
                                                  (skipped_ == 1 ? " damaged page skipped"
                                                                 : " damaged pages skipped");
        if (damaged_ > 0) {
            skipped += ", " + std::to_string(damaged_) +
                       (damaged_ == 1 ? " page written damaged" : " pages written damaged");
        }
        std::fprintf(stdout, "%s%zu of %zu files converted (%zu pages%s), %zu failed, in %.1f s",
                     interrupted ? "Interrupted: " : "", done_ - failed_, total_, pages_,
                     skipped.c_str(), failed_, seconds);
        if (extensionsKept_ > 0) {
            std::fprintf(stdout,
                         "; %zu kept their own extension in the output name (as in a.mdi.%s), "
                         "since another input has the same name",
                         extensionsKept_, extension_);
        }
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return failed_;
    }

    // Pages left out, stood in for or written damaged.
    size_t SkippedPages() const { return skipped_ + damaged_; }

  private:
    double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

    void Redraw() {
        const double seconds = Seconds();
        const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0;
        const long left = rate > 0 ? std::lround(static_cast<double>(total_ - done_) / rate) : 0;
        std::fprintf(stderr, "\r\033[K%zu/%zu files, %zu pages, %.1f files/s, %ld:%02ld left",
                     done_, total_, pages_, rate, left / 60, left % 60);
        std::fflush(stderr);
    }

    std::mutex mutex_;
    const size_t total_;
    const char* const extension_;  // of the outputs, without the dot
    const bool terminal_;
    const Clock::time_point start_;
    size_t done_ = 0;
    size_t failed_ = 0;
    size_t pages_ = 0;
    size_t extensionsKept_ = 0;
    size_t skipped_ = 0;
    size_t damaged_ = 0;
};

// Why `input` was not converted, for a line that names it: without the file's name
// where the error names that file alone (as those from opening it do).
std::string FailureReason(const std::string& input, const Error& e) {
    const auto* located = dynamic_cast<const engine::LocatedError*>(&e);
    return located != nullptr && located->Where() == input ? located->Reason() : e.Description();
}

// Converts one file; returns its page count. Raises folio::Error on failure. With
// `skipped`, pages that cannot be decoded or reached are listed there instead;
// pages written in spite of damage go to `damaged`.
int Convert(const Job& job, const BatchRequest& request, const InputFiles& inputs,
            std::vector<engine::SkippedPage>* skipped, std::vector<engine::SkippedPage>& damaged) {
    inputs.CheckTarget(job.output.string(), request.overwrite);
    // Opened first, so that a file that is no document leaves no folder behind.
    const auto document = OpenDocument(job.input);
    std::error_code error;
    const fs::path folder = job.output.parent_path();
    if (!folder.empty() && !fs::create_directories(folder, error) && error) {
        throw Error(errors::kPathNotFound,
                    "the folder \"" + folder.string() + "\" cannot be made: " + error.message());
    }
    TurnAllPages(*document, request.angle);
    // Each page written checks for Ctrl+C; the writer then removes its file.
    const engine::Progress interruptible = [](int, int) { return !Interrupted(); };
    // Without --overwrite a file made at the output meanwhile is kept, too.
    const sys::AtomicFile::Options target = TargetOptions(request.overwrite);
    if (request.format == BatchFormat::Pdf) {
        engine::WritePdf({document.get()}, job.output, target, skipped, request.checks,
                         interruptible);
    } else {
        engine::WriteTiff(*document, job.output, target, skipped, request.checks, interruptible);
    }
    static const std::vector<engine::SkippedPage> none;
    damaged = DamagedPages({document.get()}, skipped != nullptr ? *skipped : none);
    return document->PageCount();
}

}  // namespace

int RunBatch(const BatchRequest& request) {
    CatchInterrupts();
    JobList list(request);
    for (const std::string& input : request.inputs) {
        list.Add(input);
    }
    const std::vector<Job> jobs = list.TakeJobs();
    std::vector<std::string> inputPaths;
    for (const Job& job : jobs) {
        inputPaths.push_back(job.input);
    }
    // Those refused stay the user's files all the same.
    for (const Failure& failure : list.Failures()) {
        inputPaths.push_back(failure.input);
    }
    const InputFiles inputs(inputPaths);
    BatchProgress progress(jobs.size() + list.Failures().size(),
                           request.format == BatchFormat::Pdf ? "pdf" : "tiff");
    for (const Failure& failure : list.Failures()) {
        progress.Failed(failure.input, failure.reason);
    }
    const SkipKind kind = request.format == BatchFormat::Pdf ? SkipKind::Notice : SkipKind::LeftOut;
    // A task per file on the engine's executor, this thread converting files too as
    // it waits; a file's own pages are finished on the same workers.
    engine::TaskGroup files;
    for (size_t i = 0; i < jobs.size(); ++i) {
        files.Run([&, i] {
            const Job& job = jobs[i];
            if (Interrupted()) {
                return;
            }
            try {
                std::vector<engine::SkippedPage> skipped;
                std::vector<engine::SkippedPage> damaged;
                const int pages = Convert(job, request, inputs,
                                          request.skipDamaged ? &skipped : nullptr, damaged);
                progress.Converted(job, pages, skipped, damaged, kind);
            } catch (const Error& e) {
                if (e.Number() != errors::kCancel || !Interrupted()) {
                    progress.Failed(job.input, FailureReason(job.input, e));
                }
            } catch (const std::bad_alloc&) {
                progress.Failed(job.input, "out of memory");
            } catch (const std::exception& e) {
                progress.Failed(job.input, e.what());
            }
        });
    }
    files.Wait();
    const bool interrupted = Interrupted();
    const size_t failed = progress.Finish(interrupted);
    if (interrupted) {
        return kInterruptedStatus;
    }
    if (failed != 0) {
        return 1;
    }
    return progress.SkippedPages() == 0 ? 0 : kSkippedStatus;
}

}  // namespace folio::convert
