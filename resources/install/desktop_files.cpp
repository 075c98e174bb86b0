// Writes the system-wide desktop entry and shared-mime-info package at install time,
// from the same texts and settings `foliolens assoc reg` writes into the user's own
// folders, so that both always describe the file type alike.
//
// Usage: folio-desktop-files PROGRAM FOLDER
//   PROGRAM  the installed viewer's absolute path, for the entry's Exec key
//   FOLDER   where <id>.desktop and <id>.xml are written

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "app/registration_dispatch.h"
#include "common/utf8.h"
#include "platform/posix/xdg_desktop_association.h"
#include "platform/posix/xdg_desktop_association_texts.h"

namespace {

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "folio-desktop-files: cannot write " << path << " (" << std::strerror(errno)
                  << ")\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || argv[1][0] != '/') {
        std::cerr << "usage: folio-desktop-files /ABSOLUTE/PROGRAM FOLDER\n";
        return 2;
    }
    using namespace folio;
    const posix::XdgDesktopAssociationSettings settings;
    const std::string folder = argv[2];
    const std::string extension = ToUtf8(app::kFileExtension);
    const bool entry =
        WriteText(folder + "/" + settings.applicationId + ".desktop",
                  posix::DesktopEntryText({ToUtf8(app::kFileTypeDescription), argv[1],
                                           settings.applicationId, settings.mimeType}));
    const bool mime = WriteText(folder + "/" + settings.applicationId + ".xml",
                                posix::MimePackageText({settings.mimeType, settings.mimeComment,
                                                        "*." + extension, settings.magic}));
    return entry && mime ? 0 : 1;
}
