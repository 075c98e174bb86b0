// The registry file reader on arbitrary bytes: it must not crash, and whatever it
// accepts must come back unchanged through the writer and the reader again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/posix/registry_file_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const folio::posix::RegistryFileParse parsed = folio::posix::ParseRegistryFile(bytes);
    if (!parsed.ok) {
        return 0;
    }
    const std::string written = folio::posix::FormatRegistryFile(parsed.data);
    const folio::posix::RegistryFileParse again = folio::posix::ParseRegistryFile(written);
    if (!again.ok || !(again.data == parsed.data) ||
        folio::posix::FormatRegistryFile(again.data) != written) {
        std::abort();
    }
    return 0;
}
