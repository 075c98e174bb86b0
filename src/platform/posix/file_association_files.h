#pragma once

#include <string>
#include <string_view>

namespace folio::posix {

// The file operations of the file-type association: whole-file reads, atomic
// rewrites, folder creation and keeping a damaged file aside. Results are errno
// values (0 for success), so that callers can map them to their own statuses.

struct FileContent {
    int error = 0;  // ENOENT for a missing file, EFBIG above the size limit
    std::string bytes;
};

// Reads a whole regular file of at most maxBytes bytes.
FileContent ReadWholeFile(const std::string& path, std::size_t maxBytes);

// Replaces the file with bytes: writes a temporary file beside it, flushes it and
// renames it into place, so that readers see the old or the new content, never a
// mix. A symbolic link is followed and its target replaced; an existing file keeps
// its permissions. On failure the old file is untouched and no temporary file stays.
int WriteFileAtomically(const std::string& path, std::string_view bytes);

// Creates the folder and any missing parents (as mkdir -p does, the umask applies).
int MakeDirectories(const std::string& path);

// Gives the file a new name beside it (path + suffix, or path + suffix + "-2", "-3"
// ... when that exists), never replacing another file. Returns the new name in
// keptAs.
int KeepAside(const std::string& path, std::string_view suffix, std::string& keptAs);

// Removes a file; a missing file is not an error.
int RemoveFile(const std::string& path);

}  // namespace folio::posix
