#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/desktop_association.h"

namespace folio::posix {

// What the desktop association says about the program and its file type beyond what
// the registry carries.
struct XdgDesktopAssociationSettings {
    std::string applicationId = "foliolens";  // <id>.desktop, and the icon's name
    std::string mimeType = "image/vnd.ms-modi";
    std::string mimeComment = "MDI document image";
    std::string magic = std::string("EP*\0", 4);  // the bytes such a file starts with
    // The icon files: pixel size and bytes; size 0 is the scalable SVG.
    std::vector<std::pair<int, std::string_view>> icons;
};

// The association in the freedesktop.org terms, in the user's own folders: a desktop
// entry ($XDG_DATA_HOME/applications), a shared-mime-info package defining the type
// ($XDG_DATA_HOME/mime/packages), icons in the hicolor theme, and the default
// application in $XDG_CONFIG_HOME/mimeapps.list. The desktop's caches are refreshed
// with update-mime-database and update-desktop-database when they are installed.
// Each step that fails is left out and the others still run; then the failures are
// raised together as one folio::Error, one line each.
class XdgDesktopAssociation : public DesktopAssociation {
  public:
    explicit XdgDesktopAssociation(XdgDesktopAssociationSettings settings);

    void Register(const FileType& fileType) override;

    // Removes the desktop entry, its icons and the default-application entry when it
    // names this program. The MIME package stays, as the registry's extension key does.
    void Unregister(std::u16string_view programmaticId) override;

  private:
    std::string DesktopFileName() const;

    XdgDesktopAssociationSettings settings_;
};

}  // namespace folio::posix
