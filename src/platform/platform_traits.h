#pragma once

#include <string>

namespace folio {

// What differs between the platforms in the program's own path handling. Injected
// into the core so that tests can run the same logic with either set.
struct PlatformTraits {
    char16_t separator;            // between folders: '\\' on Windows, '/' on POSIX
    std::u16string exeSuffix;      // ".exe" on Windows, none on POSIX
    std::u16string defaultFolder;  // remembered-folder default: "c:\\" or the home folder + "/"

    static PlatformTraits Windows() { return {u'\\', u".exe", u"c:\\"}; }
    static PlatformTraits Posix(std::u16string homeFolder) {
        if (homeFolder.empty() || homeFolder.back() != u'/') {
            homeFolder.push_back(u'/');
        }
        return {u'/', u"", std::move(homeFolder)};
    }
};

}  // namespace folio
