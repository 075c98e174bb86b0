#include "platform/posix/xdg_desktop_association.h"

#include <cerrno>

#include "common/utf8.h"
#include "platform/posix/file_association_files.h"
#include "platform/posix/file_association_folders.h"
#include "platform/posix/file_association_programs.h"
#include "platform/posix/xdg_desktop_association_texts.h"

namespace folio::posix {
namespace {

constexpr std::size_t kMaxMimeappsBytes = 4 * 1024 * 1024;

void WriteInto(const std::string& folder, const std::string& name, std::string_view bytes) {
    if (MakeDirectories(folder) == 0) {
        WriteFileAtomically(folder + "/" + name, bytes);
    }
}

std::string IconFolder(const std::string& dataHome, int size) {
    const std::string theme = dataHome + "/icons/hicolor/";
    if (size == 0) {
        return theme + "scalable/apps";
    }
    return theme + std::to_string(size) + "x" + std::to_string(size) + "/apps";
}

std::string IconFileName(const std::string& id, int size) {
    return id + (size == 0 ? ".svg" : ".png");
}

// Rewrites mimeapps.list with edit applied, when that changes it. An unreadable file
// is left alone rather than replaced by what little could be made without it.
template <typename Edit>
void EditMimeapps(const std::string& configHome, Edit&& edit) {
    const std::string path = configHome + "/mimeapps.list";
    const FileContent content = ReadWholeFile(path, kMaxMimeappsBytes);
    if (content.error != 0 && content.error != ENOENT) {
        return;
    }
    const std::string edited = edit(content.bytes);
    if (edited != content.bytes) {
        WriteInto(configHome, "mimeapps.list", edited);
    }
}

}  // namespace

XdgDesktopAssociation::XdgDesktopAssociation(XdgDesktopAssociationSettings settings)
    : settings_(std::move(settings)) {}

std::string XdgDesktopAssociation::DesktopFileName() const {
    return settings_.applicationId + ".desktop";
}

void XdgDesktopAssociation::Register(const FileType& fileType) {
    const std::string dataHome = UserDataHome();
    if (dataHome.empty()) {
        return;
    }
    WriteInto(dataHome + "/mime/packages", settings_.applicationId + ".xml",
              MimePackageText({settings_.mimeType, settings_.mimeComment,
                               "*." + ToUtf8(fileType.extension), settings_.magic}));
    for (const auto& [size, bytes] : settings_.icons) {
        WriteInto(IconFolder(dataHome, size), IconFileName(settings_.applicationId, size), bytes);
    }
    WriteInto(dataHome + "/applications", DesktopFileName(),
              DesktopEntryText({ToUtf8(fileType.description), ToUtf8(fileType.program),
                                settings_.applicationId, settings_.mimeType}));
    if (const std::string configHome = UserConfigHome(); !configHome.empty()) {
        EditMimeapps(configHome, [&](const std::string& text) {
            return WithDefaultApplication(text, settings_.mimeType, DesktopFileName());
        });
    }
    RunIfPresent({"update-mime-database", dataHome + "/mime"});
    RunIfPresent({"update-desktop-database", dataHome + "/applications"});
}

void XdgDesktopAssociation::Unregister(std::u16string_view /*programmaticId*/) {
    // The desktop side holds one association, the program's own; it is named by the
    // application id rather than by the registry's identifier.
    const std::string dataHome = UserDataHome();
    if (dataHome.empty()) {
        return;
    }
    RemoveFile(dataHome + "/applications/" + DesktopFileName());
    for (const auto& [size, bytes] : settings_.icons) {
        RemoveFile(IconFolder(dataHome, size) + "/" + IconFileName(settings_.applicationId, size));
    }
    if (const std::string configHome = UserConfigHome(); !configHome.empty()) {
        EditMimeapps(configHome, [&](const std::string& text) {
            return WithoutDefaultApplication(text, settings_.mimeType, DesktopFileName());
        });
    }
    RunIfPresent({"update-desktop-database", dataHome + "/applications"});
}

}  // namespace folio::posix
