#include "app/registration_dispatch.h"

#include <exception>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "shell/file_association.h"

namespace folio::app {
namespace {

std::string StatusText(std::int32_t status) {
    switch (status) {
        case Registry::kAccessDenied:
            return "access denied";
        case Registry::kWriteFault:
            return "the registry file could not be written";
        case Registry::kDiskFull:
            return "the disk is full";
        case Registry::kInvalidData:
            return "the registry file is damaged";
        case Registry::kFileNotFound:
            return "no such key";
        default:
            return "status " + std::to_string(status);
    }
}

// Passes every call through unchanged and notes each one that failed, so that the
// association steps keep their order and go on past a failure, and the user still
// learns that something was not written. A write on a key that could not be opened
// is not noted again.
class FailureNotingRegistry : public Registry {
  public:
    explicit FailureNotingRegistry(Registry& inner) : inner_(inner) {}

    CreateResult CreateKey(Handle root, std::string_view subKey, std::uint32_t reserved,
                           const char* keyClass, std::uint32_t options,
                           std::uint32_t access) override {
        const CreateResult result =
            inner_.CreateKey(root, subKey, reserved, keyClass, options, access);
        Note(result.status, "cannot create the key", subKey);
        keys_[result.key] = std::string(subKey);
        return result;
    }

    OpenResult OpenKey(Handle root, std::string_view subKey, std::uint32_t options,
                       std::uint32_t access) override {
        const OpenResult result = inner_.OpenKey(root, subKey, options, access);
        Note(result.status, "cannot open the key", subKey);
        keys_[result.key] = std::string(subKey);
        return result;
    }

    std::int32_t SetValue(Handle key, std::string_view valueName, std::uint32_t reserved,
                          std::uint32_t type, const std::uint8_t* data,
                          std::uint32_t size) override {
        const std::int32_t status = inner_.SetValue(key, valueName, reserved, type, data, size);
        if (key != 0) {
            Note(status, "cannot write the value of", keys_[key]);
        }
        return status;
    }

    std::int32_t CloseKey(Handle key) override {
        const std::int32_t status = inner_.CloseKey(key);
        if (key != 0) {
            Note(status, "cannot close the key", keys_[key]);
        }
        return status;
    }

    std::int32_t DeleteTree(Handle root, std::string_view subKey) override {
        const std::int32_t status = inner_.DeleteTree(root, subKey);
        // Nothing to remove is what removal wants.
        if (status != kFileNotFound) {
            Note(status, "cannot delete the key", subKey);
        }
        return status;
    }

    const std::vector<std::string>& Failures() const { return failures_; }
    void NoteFailure(std::string text) { failures_.push_back(std::move(text)); }

  private:
    void Note(std::int32_t status, const char* what, std::string_view key) {
        if (status != kSuccess) {
            failures_.push_back(std::string(what) + " HKEY_CLASSES_ROOT\\" + std::string(key) +
                                " (" + StatusText(status) + ")");
        }
    }

    Registry& inner_;
    std::map<Handle, std::string> keys_;
    std::vector<std::string> failures_;
};

// Notes what the desktop side raised and raises it on, for the association to pass
// over as it does.
class FailureNotingDesktop : public DesktopAssociation {
  public:
    FailureNotingDesktop(DesktopAssociation& inner, FailureNotingRegistry& notes)
        : inner_(inner), notes_(notes) {}

    void Register(const FileType& fileType) override {
        Noted([&] { inner_.Register(fileType); });
    }
    void Unregister(std::u16string_view programmaticId) override {
        Noted([&] { inner_.Unregister(programmaticId); });
    }

  private:
    template <typename Step>
    void Noted(Step&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            std::istringstream lines(e.what());
            for (std::string line; std::getline(lines, line);) {
                notes_.NoteFailure(line);
            }
            throw;
        }
    }

    DesktopAssociation& inner_;
    FailureNotingRegistry& notes_;
};

}  // namespace

std::u16string ProgramPath(const RunningProgram& program, const PlatformTraits& traits) {
    return program.folder + traits.separator + program.name + traits.exeSuffix;
}

std::optional<int> DispatchRegistration(const CommandLine& commandLine,
                                        const RunningProgram& program, const PlatformTraits& traits,
                                        RegistrationPorts ports) {
    if (commandLine.Arguments() != 1) {
        return std::nullopt;
    }
    const std::u16string value = commandLine.FlaggedArg(u"assoc");
    const bool reg = value == u"reg";
    if (!reg && value != u"unreg") {
        return std::nullopt;
    }
    FailureNotingRegistry registry(ports.registry);
    FailureNotingDesktop desktop(ports.desktop, registry);
    FileAssociation association(registry, ports.codec, desktop, traits, program.folder,
                                program.name);
    try {
        if (reg) {
            association.RegisterFileType(kProgrammaticId, kFileExtension, kFileTypeDescription,
                                         ProgramPath(program, traits));
        } else {
            association.UnregisterFileType(kProgrammaticId);
        }
    } catch (const std::exception& e) {
        // No window exists to report it in: it is told like the failed writes.
        registry.NoteFailure(e.what());
    }
    for (const std::string& failure : registry.Failures()) {
        ports.errors << "FolioLens: assoc " << (reg ? "reg" : "unreg") << ": " << failure << '\n';
    }
    ports.errors.flush();
    return registry.Failures().empty() ? 0 : 1;
}

}  // namespace folio::app
