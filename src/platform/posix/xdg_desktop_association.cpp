#include "platform/posix/xdg_desktop_association.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "platform/posix/file_association.h"
#include "platform/posix/file_association_files.h"
#include "platform/posix/xdg_desktop_association_texts.h"

namespace folio::posix {
namespace {

constexpr std::size_t kMaxMimeappsBytes = 4 * 1024 * 1024;

// What went wrong in one Register or Unregister, one line per file.
using Failures = std::vector<std::string>;

void Check(Failures& failures, int error, const std::string& what) {
    if (error != 0) {
        failures.push_back(what + " (" + std::strerror(error) + ")");
    }
}

void WriteInto(const std::string& folder, const std::string& name, std::string_view bytes,
               Failures& failures) {
    const int made = MakeDirectories(folder);
    Check(failures, made, "cannot make the folder " + folder);
    if (made == 0) {
        Check(failures, WriteFileAtomically(folder + "/" + name, bytes),
              "cannot write " + folder + "/" + name);
    }
}

// The steps that failed, after all of them ran.
void Report(const Failures& failures) {
    if (failures.empty()) {
        return;
    }
    std::string text;
    for (const std::string& failure : failures) {
        text += (text.empty() ? "" : "\n") + failure;
    }
    throw Error(errors::kPermissionDenied, text);
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
void EditMimeapps(const std::string& configHome, Edit&& edit, Failures& failures) {
    const std::string path = configHome + "/mimeapps.list";
    const FileContent content = ReadWholeFile(path, kMaxMimeappsBytes);
    if (content.error != 0 && content.error != ENOENT) {
        Check(failures, content.error, "cannot read " + path);
        return;
    }
    const std::string edited = edit(content.bytes);
    if (edited != content.bytes) {
        WriteInto(configHome, "mimeapps.list", edited, failures);
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
    Failures failures;
    WriteInto(dataHome + "/mime/packages", settings_.applicationId + ".xml",
              MimePackageText({settings_.mimeType, settings_.mimeComment,
                               "*." + ToUtf8(fileType.extension), settings_.magic}),
              failures);
    for (const auto& [size, bytes] : settings_.icons) {
        WriteInto(IconFolder(dataHome, size), IconFileName(settings_.applicationId, size), bytes,
                  failures);
    }
    WriteInto(dataHome + "/applications", DesktopFileName(),
              DesktopEntryText({ToUtf8(fileType.description), ToUtf8(fileType.program),
                                settings_.applicationId, settings_.mimeType}),
              failures);
    if (const std::string configHome = UserConfigHome(); !configHome.empty()) {
        EditMimeapps(
            configHome,
            [&](const std::string& text) {
                return WithDefaultApplication(text, settings_.mimeType, DesktopFileName());
            },
            failures);
    }
    RunIfPresent({"update-mime-database", dataHome + "/mime"});
    RunIfPresent({"update-desktop-database", dataHome + "/applications"});
    Report(failures);
}

void XdgDesktopAssociation::Unregister(std::u16string_view /*programmaticId*/) {
    // The desktop side holds one association, the program's own; it is named by the
    // application id rather than by the registry's identifier.
    const std::string dataHome = UserDataHome();
    if (dataHome.empty()) {
        return;
    }
    Failures failures;
    const std::string entry = dataHome + "/applications/" + DesktopFileName();
    Check(failures, RemoveFile(entry), "cannot remove " + entry);
    for (const auto& [size, bytes] : settings_.icons) {
        const std::string icon =
            IconFolder(dataHome, size) + "/" + IconFileName(settings_.applicationId, size);
        Check(failures, RemoveFile(icon), "cannot remove " + icon);
    }
    if (const std::string configHome = UserConfigHome(); !configHome.empty()) {
        EditMimeapps(
            configHome,
            [&](const std::string& text) {
                return WithoutDefaultApplication(text, settings_.mimeType, DesktopFileName());
            },
            failures);
    }
    RunIfPresent({"update-desktop-database", dataHome + "/applications"});
    Report(failures);
}

}  // namespace folio::posix
