#include "platform/posix/posix_ports.h"

#include <sys/stat.h>

#include "common/utf8.h"
#include "posix/redirected_environment.h"

namespace folio::posix {
namespace {

using FileAttributesTest = testing::RedirectedEnvironment;

TEST_F(FileAttributesTest, StatGivesTheWindowsBitsThatDecideWhetherAFileExists) {
    Write(root + "/letter.mdi", "EP*");
    Write(root + "/.hidden.mdi", "EP*");
    ::mkdir((root + "/scans").c_str(), 0755);
    ::mkdir((root + "/.cache").c_str(), 0755);
    ::mkfifo((root + "/pipe.mdi").c_str(), 0644);
    Write(root + "/scan\xFF.mdi", "EP*");
    ::mkdir((root + "/od\xC0\xAF").c_str(), 0755);
    const struct {
        std::string path;
        int32_t attributes;
    } cases[] = {
        {root + "/letter.mdi", kAttributeNormal},
        {root + "/.hidden.mdi", kAttributeHidden},
        {root + "/scans", kAttributeDirectory},
        {root + "/scans/", kAttributeDirectory},
        {root + "/.cache", kAttributeDirectory | kAttributeHidden},
        {root + "/scans/..", kAttributeDirectory},
        // Not a directory: it exists, and opening it is the engine's to refuse.
        {root + "/pipe.mdi", kAttributeNormal},
        {root + "/missing.mdi", kInvalidAttributes},
        // Names that are not UTF-8 are found by their own bytes.
        {root + "/scan\xFF.mdi", kAttributeNormal},
        {root + "/od\xC0\xAF", kAttributeDirectory},
        {root + "/scan\xEF\xBF\xBD.mdi", kInvalidAttributes},
        {root + "/letter.mdi/inside", kInvalidAttributes},
        {"", kInvalidAttributes},
    };
    PosixFileAttributes attributes;
    for (const auto& c : cases) {
        EXPECT_EQ(attributes.GetFileAttributes(FromUtf8(c.path)), c.attributes) << c.path;
    }
}

}  // namespace
}  // namespace folio::posix
