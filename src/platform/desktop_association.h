#pragma once

#include <string>
#include <string_view>

namespace folio {

// The file-type association in the desktop's own terms, made beside the registry's
// (on Windows the registry is the desktop's association and this does nothing). Every
// step runs; those that failed are raised afterwards as one folio::Error, a line each,
// and callers go on whatever happens here.
class DesktopAssociation {
  public:
    struct FileType {
        std::u16string programmaticId;  // the registry's name of the file type
        std::u16string extension;       // without its dot
        std::u16string description;     // the file type's (and program's) display name
        std::u16string program;         // the executable that opens a file, given as argument
        std::u16string iconPath;        // the icon path the registry carries
    };

    virtual ~DesktopAssociation() = default;

    // Makes the program the handler of the file type.
    virtual void Register(const FileType& fileType) = 0;

    // Removes what Register made for the programmatic identifier, as far as it does not
    // describe the file type itself.
    virtual void Unregister(std::u16string_view programmaticId) = 0;
};

}  // namespace folio
