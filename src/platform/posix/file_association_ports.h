#pragma once

// The real ports the file-type association runs on under POSIX.

#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "platform/desktop_association.h"
#include "platform/registry.h"
#include "platform/text_codec.h"

namespace folio::posix {

struct FileAssociationPorts {
    std::unique_ptr<Registry> registry;  // the registry stand-in in the user's data folder
    std::unique_ptr<TextCodec> codec;    // UTF-8
    std::unique_ptr<DesktopAssociation> desktop;
};

// Builds them, the icon files (pixel size and bytes, 0 for the SVG) going to the
// desktop's icon theme. Problems with the registry file are reported on stderr.
FileAssociationPorts MakePosixFileAssociationPorts(
    std::span<const std::pair<int, std::string_view>> icons);

}  // namespace folio::posix
