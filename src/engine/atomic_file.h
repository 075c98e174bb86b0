#pragma once

// Writing a file whole or not at all: a temporary beside the target, renamed over
// it once complete.

#include <cstdint>
#include <string>

namespace folio::engine {

// A file written under a temporary name in the target's folder and renamed over
// the target only when complete, so readers see the old file or the new one, never
// a partial one. Until Commit() succeeds, destroying it removes the temporary file.
class AtomicFile {
  public:
    // Creates the temporary file; raises folio::Error naming the target and the
    // reason when the folder cannot take it.
    explicit AtomicFile(const std::string& targetPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The open descriptor of the temporary file, owned by this object (writers
    // that close what they are given should get a dup of it).
    int Descriptor() const { return fd_; }
    const std::string& TempPath() const { return tempPath_; }

    // Flushes the data to disk and renames the temporary file over the target.
    void Commit();

  private:
    std::string target_;
    std::string tempPath_;
    int fd_ = -1;
    bool committed_ = false;
};

}  // namespace folio::engine
