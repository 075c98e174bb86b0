#pragma once

// A command's files: opening the documents it reads, keeping its outputs off them,
// and naming them in messages.

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/document/engine_document.h"
#include "sys/files.h"

namespace folio::convert {

// Opens the document at `path` (as given on the command line); raises
// folio::Error naming the file and what is wrong with it.
std::unique_ptr<engine::EngineDocument> OpenDocument(const std::string& path);

// `text` made fit for one line of a message on a terminal: line breaks as spaces,
// other controls and stray bytes escaped (TerminalText).
std::string OneLine(std::string text);

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
