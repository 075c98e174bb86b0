#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "cmdline/command_line.h"
#include "platform/desktop_association.h"
#include "platform/platform_traits.h"
#include "platform/registry.h"
#include "platform/text_codec.h"

namespace folio::app {

// The file-type constants the registration commands pass on.
inline constexpr char16_t kProgrammaticId[] = u"Folio_Lens";
inline constexpr char16_t kFileExtension[] = u"mdi";
inline constexpr char16_t kFileTypeDescription[] = u"FolioLens";

// The running executable as the runtime reports it.
struct RunningProgram {
    std::u16string folder;  // no trailing separator, except at the root
    std::u16string name;    // the name it runs under, without the platform's suffix
};

// Where the registration commands write, and where their failures are told.
struct RegistrationPorts {
    Registry& registry;
    const TextCodec& codec;
    DesktopAssociation& desktop;
    std::ostream& errors;
};

// The folder, one separator whatever the folder ends with, the name and the suffix.
std::u16string ProgramPath(const RunningProgram& program, const PlatformTraits& traits);

// The first part of the main window's load step, run before any window exists so that
// it works without a display: with exactly one argument whose "assoc" value is "reg"
// or "unreg", registers or removes the file type and gives the exit status the program
// ends with at once: 0, or 1 when any write failed (each failure one line on `errors`).
// Nothing for any other command line: the load step goes on.
std::optional<int> DispatchRegistration(const CommandLine& commandLine,
                                        const RunningProgram& program, const PlatformTraits& traits,
                                        RegistrationPorts ports);

}  // namespace folio::app
