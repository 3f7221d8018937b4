// The split of setup's module path into its package directory, on exact-size buffers so that a
// read past the terminating NUL shows under AddressSanitizer.
#include "hostwin_test.h"
#include "package_directory.h"
#include "zunmek.h"

#include <cstring>
#include <optional>

namespace {

const char kPoison = '\x7E';

// A directory part of exactly `length` bytes: a backslash, a folder name, a backslash.
std::string DirectoryPart(size_t length) { return "\\" + std::string(length - 2, 'd') + "\\"; }

// The package directory of `modulePath`, or nullopt when the split refuses it.
std::optional<std::string> Split(const std::string& modulePath, UINT codePage) {
    g_ansiCodePage = codePage;
    std::vector<char> path(modulePath.begin(), modulePath.end());
    path.push_back('\0');
    char packageDirectory[MAX_PATH];
    std::memset(packageDirectory, kPoison, sizeof packageDirectory);
    bool ok = PackageDirectoryFrom(path.data(), packageDirectory);
    if (!ok) {
        EXPECT_EQ(packageDirectory[0], kPoison) << "written although refused";
        return std::nullopt;
    }
    EXPECT_NE(std::memchr(packageDirectory, '\0', sizeof packageDirectory), nullptr);
    return std::string(packageDirectory);
}

class PackageDirectoryTest : public HostwinTest {
protected:
    void TearDown() override {
        g_ansiCodePage = 0;
        HostwinTest::TearDown();
    }
};

TEST_F(PackageDirectoryTest, DriveAndDirectoryLessOneTrailingBackslash) {
    struct Case {
        const char* modulePath;
        const char* packageDirectory;
    };
    const Case cases[] = {
        {"C:\\Drivers\\Mouse\\setup.exe", "C:\\Drivers\\Mouse"},
        {"A:\\setup.exe", "A:"},                                     // a root keeps its drive and colon
        {"\\\\server\\share\\Drivers\\setup.exe", "\\\\server\\share\\Drivers"},
        {"\\setup.exe", ""},                                         // root of the current drive
        {"C:setup.exe", "C:"},                                       // a drive and no directory
        {"setup.exe", ""},
        {"", ""},
        {"C:\\Drivers\\Mouse\\\\setup.exe", "C:\\Drivers\\Mouse\\"},  // only one backslash goes
        {"C:/Drivers/Mouse/setup.exe", "C:/Drivers/Mouse/"},         // a final slash stays
        {"C:\\Drivers/Mouse\\setup.exe", "C:\\Drivers/Mouse"},
        {"C:\\Drivers\\Mouse/setup.exe", "C:\\Drivers\\Mouse/"},
        {"C:\\Drivers\\Mouse\\", "C:\\Drivers\\Mouse"},              // no file name
        {"C:\\Dr:vers\\setup.exe", "C:\\Dr:vers"},                   // a colon elsewhere is a plain byte
        {"\\C:\\setup.exe", "\\C:"},                                 // ... and so is one in the third byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.modulePath);
        EXPECT_EQ(Split(c.modulePath, 1252), std::optional<std::string>(c.packageDirectory));
    }
}

TEST_F(PackageDirectoryTest, LeadBytesTakeTheirTrailByteAlong) {
    struct Case {
        const char* name;
        UINT codePage;
        const char* modulePath;
        const char* packageDirectory;
    };
    const Case cases[] = {
        {"folder ending in a character whose trail byte is 0x5C", 932, "C:\\Drivers\\pkg\x95\x5C\\setup.exe",
         "C:\\Drivers\\pkg\x95\x5C"},
        {"that character in the file name", 932, "C:\\Drivers\\Mouse\\set\x95\x5Cup.exe", "C:\\Drivers\\Mouse"},
        {"the same bytes in code page 1252, where 0x95 is one character", 1252,
         "C:\\Drivers\\Mouse\\set\x95\x5Cup.exe", "C:\\Drivers\\Mouse\\set\x95"},
        {"a trail byte that is a slash", 932, "C:\\Drivers\\pkg\x81/setup.exe", "C:\\Drivers"},
        {"two lead bytes in a row: the second is a trail byte", 932, "C:\\pkg\x81\x81\x5Csetup.exe",
         "C:\\pkg\x81\x81"},
        {"three lead bytes in a row: the third takes the backslash", 932, "C:\\pkg\x81\x81\x81\x5Csetup.exe",
         "C:"},
        {"a lead byte at the very end", 932, "C:\\Drivers\\Mouse\\setup\x95", "C:\\Drivers\\Mouse"},
        {"a lead byte at the very end, right after a separator", 932, "C:\\Drivers\\\x95", "C:\\Drivers"},
        {"a lead byte alone", 932, "\x95", ""},
        {"a character of the upper lead-byte range", 932, "C:\\\xE0\x5C\\setup.exe", "C:\\\xE0\x5C"},
        {"a byte just below the lead-byte range", 932, "C:\\pkg\x80\\setup.exe", "C:\\pkg\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Split(c.modulePath, c.codePage), std::optional<std::string>(c.packageDirectory));
    }
}

TEST_F(PackageDirectoryTest, DirectoryPartOfMoreThan255BytesIsRefusedNotCut) {
    struct Case {
        const char* name;
        std::string modulePath;
        std::optional<std::string> packageDirectory;
    };
    const std::string dir255 = DirectoryPart(255);
    const std::string dir256 = DirectoryPart(256);
    const std::string lead255 = "\\" + std::string(252, 'd') + "\x95\x5C";  // 255 bytes, the last a trail byte
    const Case cases[] = {
        {"255 bytes after a drive", "C:" + dir255 + "s", "C:" + dir255.substr(0, 254)},
        {"255 bytes, no drive", dir255 + "setup", dir255.substr(0, 254)},
        {"256 bytes after a drive", "C:" + dir256 + "s", std::nullopt},
        {"256 bytes, no drive", dir256 + "s", std::nullopt},
        {"256 bytes, ending in a character with trail byte 0x5C and a backslash", "C:" + lead255 + "\\s",
         std::nullopt},
        {"a long file name does not count", "C:\\d\\" + std::string(250, 'n'), "C:\\d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Split(c.modulePath, 932), c.packageDirectory);
    }
}

}  // namespace
