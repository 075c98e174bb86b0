#include "platform/posix/file_association_ports.h"

#include <iostream>

#include "platform/posix/file_association.h"
#include "platform/posix/posix_ports.h"
#include "platform/posix/registry_file.h"
#include "platform/posix/xdg_desktop_association.h"

namespace folio::posix {

FileAssociationPorts MakePosixFileAssociationPorts(
    std::span<const std::pair<int, std::string_view>> icons) {
    XdgDesktopAssociationSettings settings;
    settings.icons.assign(icons.begin(), icons.end());
    FileAssociationPorts ports;
    ports.registry = std::make_unique<RegistryFile>(RegistryFilePath(), std::cerr);
    ports.codec = std::make_unique<Utf8TextCodec>();
    ports.desktop = std::make_unique<XdgDesktopAssociation>(std::move(settings));
    return ports;
}

}  // namespace folio::posix
