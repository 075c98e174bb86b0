#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace folio::print::testing {

// A CUPS server of a test's own: configuration, spool, state and logs in a fresh
// temporary folder, listening on a free port of 127.0.0.1, with file: devices
// allowed. It runs beside any system CUPS without touching it. Making one points
// this process's CUPS clients at it: the calling thread's libcups (which Qt's
// printer support uses) and, through CUPS_SERVER, tools and threads started later.
// The server stops, by its process id, with the object.
class PrivateCups {
  public:
    // Starts the server and waits until it answers; throws std::runtime_error with
    // the reason and the server's log when it cannot be started.
    PrivateCups();
    ~PrivateCups();
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;

    // Why a private server cannot run here (cupsd or the PDF driver not installed),
    // or empty when it can.
    static std::string MissingParts();

    // "127.0.0.1:PORT".
    const std::string& Address() const { return address_; }
    // Adds an enabled queue `name` with cups-filters' Generic PDF Printer driver
    // whose jobs land in the returned PDF file (overwritten by each job).
    std::string AddPdfQueue(const std::string& name);
    // Makes the queue refuse new jobs, as an administrator may.
    void RejectJobs(const std::string& name);
    // Holds the queue's jobs unprinted until it is resumed (the queue still takes jobs).
    void PauseQueue(const std::string& name);
    void ResumeQueue(const std::string& name);
    // Waits until no job is pending or printing; throws after a minute.
    void WaitForJobs() const;
    // Every job the server has taken, finished or not.
    int JobCount() const;
    // The server's error log.
    std::string Log() const;
    // Stops the server now (a client then finds no server); the destructor does it too.
    void Stop();

  private:
    std::string Run(const std::vector<std::string>& command) const;

    std::string root_;
    std::string address_;
    pid_t pid_ = -1;
};

}  // namespace folio::print::testing
