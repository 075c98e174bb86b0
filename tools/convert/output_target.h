#pragma once

#include <set>
#include <string>
#include <vector>

#include "sys/files.h"

namespace folio::convert {

// The files a command reads, known by device and inode, so that no output is
// written over one of them whatever name leads there (the same path, a symbolic
// link or a hard link).
class InputFiles {
  public:
    explicit InputFiles(const std::vector<std::string>& paths);

    // Refuses to write `target` (folio::Error naming it) when it is one of the
    // inputs, or when something has its name and `overwrite` is false.
    void CheckTarget(const std::string& target, bool overwrite) const;

  private:
    std::set<sys::FileIdentity> files_;
};

// How the writers treat an existing target: replaced only with `overwrite`, and
// then only a regular file; without it the name is claimed at the last step
// without replacing, so that a file made there meanwhile is kept.
sys::AtomicFile::Options TargetOptions(bool overwrite);

}  // namespace folio::convert
