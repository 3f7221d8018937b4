#include "hostwin_test.h"
#include "zunmek.h"

#include <algorithm>

namespace {

const HKEY HKLM = HKEY_LOCAL_MACHINE;
const std::string kRoot = "Enum\\Root";
const std::string kMouseClass = "System\\CurrentControlSet\\Services\\class\\mouse";

// The two calls the programs make.
void SweepRootMice() { SweepSubkeys("Enum\\Root", "\\0000", "Class", "Mouse"); }
void SweepMouseClassKeys() {
    SweepSubkeys("System\\CurrentControlSet\\Services\\class\\mouse", "", "MouseDriver", "zunmouse.vxd");
}

void AddDevice(const std::string& device, const std::string& instance, const std::string& deviceClass) {
    hostwin::SetString(HKLM, kRoot + "\\" + device + "\\" + instance, "Class", deviceClass);
}
void AddRawClass(const std::string& device, DWORD type, const std::vector<uint8_t>& data) {
    hostwin::SetValue(HKLM, kRoot + "\\" + device + "\\0000", "Class", type, data);
}
void AddClassKey(const std::string& key, const std::string& driver) {
    hostwin::SetString(HKLM, kMouseClass + "\\" + key, "MouseDriver", driver);
}
std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

size_t CountLines(const std::string& needle) {
    const auto& log = hostwin::CallLog();
    return std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(needle) != std::string::npos; });
}

class SweepSubkeysTest : public HostwinTest {};

TEST_F(SweepSubkeysTest, StartsAgainAtIndexZeroAfterEveryDelete) {
    AddDevice("A", "0000", "Mouse");
    AddDevice("B", "0000", "Mouse");
    AddDevice("C", "0000", "Keyboard");
    SweepRootMice();

    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), std::vector<std::string>{"C"});
    EXPECT_EQ(JoinLines(hostwin::CallLog()), JoinLines({
        "RegOpenKeyExA(HKLM, \"Enum\\Root\", 0, 0xF003F) = 0",
        "RegEnumKeyExA(<HKLM\\Enum\\Root>, 0, 256, NULL, NULL, NULL, &ft) = 0 \"A\"",
        "RegOpenKeyExA(<HKLM\\Enum\\Root>, \"A\\0000\", 0, 0xF003F) = 0",
        "RegQueryValueExA(<HKLM\\Enum\\Root\\A\\0000>, \"Class\", NULL, NULL, data, 256) = 0 (6 bytes)",
        "RegCloseKey(<HKLM\\Enum\\Root\\A\\0000>) = 0",
        "RegDeleteKeyA(<HKLM\\Enum\\Root>, \"A\") = 0",
        "RegEnumKeyExA(<HKLM\\Enum\\Root>, 0, 256, NULL, NULL, NULL, &ft) = 0 \"B\"",
        "RegOpenKeyExA(<HKLM\\Enum\\Root>, \"B\\0000\", 0, 0xF003F) = 0",
        "RegQueryValueExA(<HKLM\\Enum\\Root\\B\\0000>, \"Class\", NULL, NULL, data, 256) = 0 (6 bytes)",
        "RegCloseKey(<HKLM\\Enum\\Root\\B\\0000>) = 0",
        "RegDeleteKeyA(<HKLM\\Enum\\Root>, \"B\") = 0",
        "RegEnumKeyExA(<HKLM\\Enum\\Root>, 0, 256, NULL, NULL, NULL, &ft) = 0 \"C\"",
        "RegOpenKeyExA(<HKLM\\Enum\\Root>, \"C\\0000\", 0, 0xF003F) = 0",
        "RegQueryValueExA(<HKLM\\Enum\\Root\\C\\0000>, \"Class\", NULL, NULL, data, 256) = 0 (9 bytes)",
        "RegCloseKey(<HKLM\\Enum\\Root\\C\\0000>) = 0",
        "RegEnumKeyExA(<HKLM\\Enum\\Root>, 1, 256, NULL, NULL, NULL, &ft) = 259",
        "RegCloseKey(<HKLM\\Enum\\Root>) = 0",
    }));
}

TEST_F(SweepSubkeysTest, SubkeysBeforeAMatchAreExaminedAgainAfterEachDelete) {
    AddClassKey("0000", "other.vxd");
    AddClassKey("0001", "zunmouse.vxd");
    AddClassKey("0002", "ZUNMOUSE.VXD");
    SweepMouseClassKeys();
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kMouseClass), std::vector<std::string>{"0000"});
    // Once before each of the two deletes and once after the last one.
    EXPECT_EQ(CountLines("RegQueryValueExA(<HKLM\\" + kMouseClass + "\\0000>"), 3u);
}

TEST_F(SweepSubkeysTest, DeletesADeviceWithAllItsInstancesByItsFirstInstanceOnly) {
    AddDevice("*PNP0F0C", "0000", "Mouse");
    AddDevice("*PNP0F0C", "0001", "Keyboard");
    AddDevice("*PNP0303", "0000", "Keyboard");
    AddDevice("*PNP0303", "0001", "Mouse");
    SweepRootMice();
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), std::vector<std::string>{"*PNP0303"});
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot + "\\*PNP0303"), (std::vector<std::string>{"0000", "0001"}));
}

TEST_F(SweepSubkeysTest, ClassDataComparedWithoutAsciiCaseOnly) {
    struct Case {
        std::string data;
        bool deleted;
    };
    const Case cases[] = {
        {"Mouse", true}, {"MOUSE", true}, {"mouse", true}, {"mOuSe", true},
        {"Mouse ", false}, {" Mouse", false}, {"Mous", false}, {"MouseX", false}, {"Mice", false}, {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        hostwin::Reset();
        AddDevice("DEV", "0000", c.data);
        SweepRootMice();
        EXPECT_EQ(hostwin::KeyExists(HKLM, kRoot + "\\DEV"), !c.deleted);
    }
}

TEST_F(SweepSubkeysTest, DriverNameMustBeTheWholeValue) {
    struct Case {
        std::string driver;
        bool deleted;
    };
    const Case cases[] = {
        {"zunmouse.vxd", true},
        {"ZUNMOUSE.VXD", true},
        {"ZunMouse.Vxd", true},
        {"C:\\WINDOWS\\SYSTEM\\zunmouse.vxd", false},
        {"zunmouse.vxd ", false},
        {"zunmouse.vx", false},
        {"zunmouse.vxd.bak", false},
        {"zunmouse_vxd", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver);
        hostwin::Reset();
        AddClassKey("0000", c.driver);
        SweepMouseClassKeys();
        EXPECT_EQ(hostwin::KeyExists(HKLM, kMouseClass + "\\0000"), !c.deleted);
    }
}

TEST_F(SweepSubkeysTest, FoldsNothingButAsciiLetters) {
    // Bytes a locale or a careless "| 0x20" would fold: code-page letters and '@[\]^_' against '`{|}~'.
    struct Case {
        const char* match;
        std::string data;
        bool deleted;
    };
    const Case cases[] = {
        {"caf\xE9", "CAF\xE9", true},
        {"caf\xE9", "CAF\xC9", false},
        {"\xE4rger", "\xC4RGER", false},
        {"a[b]", "A{B}", false},
        {"a@b", "A`B", false},
        {"a^_", "A~\x7F", false},
        {"a1", "A\x11", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        hostwin::Reset();
        hostwin::SetString(HKLM, "Key\\Sub", "Value", c.data);
        SweepSubkeys("Key", "", "Value", c.match);
        EXPECT_EQ(hostwin::KeyExists(HKLM, "Key\\Sub"), !c.deleted);
    }
}

TEST_F(SweepSubkeysTest, ValueDataAsStoredDecides) {
    std::vector<uint8_t> padded256 = Bytes(std::string("Mouse") + '\0');
    padded256.resize(256, 'x');
    std::vector<uint8_t> padded257 = padded256;
    padded257.push_back('x');
    std::vector<uint8_t> full256NoNul(256, 'M');
    struct Case {
        const char* name;
        DWORD type;
        std::vector<uint8_t> data;
        bool deleted;
    };
    const Case cases[] = {
        {"binary data that read as the text", REG_BINARY, Bytes(std::string("Mouse") + '\0'), true},
        {"string with bytes after its NUL", REG_SZ, Bytes(std::string("mouse\0junk", 10)), true},
        {"exactly 256 bytes holding the text and a NUL", REG_SZ, padded256, true},
        {"257 bytes: refused by the query", REG_SZ, padded257, false},
        {"string stored without its NUL", REG_SZ, Bytes("Mouse"), false},
        {"256 bytes with no NUL", REG_BINARY, full256NoNul, false},
        {"a DWORD", REG_DWORD, {1, 0, 0, 0}, false},
        {"no data at all", REG_SZ, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::Reset();
        AddRawClass("DEV", c.type, c.data);
        SweepRootMice();
        EXPECT_EQ(hostwin::KeyExists(HKLM, kRoot + "\\DEV"), !c.deleted);
    }
}

TEST_F(SweepSubkeysTest, SubkeysWithoutTheValueAreLeftAloneAndTheSweepGoesOn) {
    AddDevice("NOINSTANCE", "0001", "Mouse");          // no "0000" key
    hostwin::AddKey(HKLM, kRoot + "\\NOCLASS\\0000");   // "0000" without "Class"
    hostwin::SetString(HKLM, kRoot + "\\OTHERVALUE\\0000", "DeviceDesc", "Mouse");
    AddDevice("REFUSED", "0000", "Mouse");
    hostwin::FailCall("RegOpenKeyExA", "REFUSED\\0000", ERROR_ACCESS_DENIED);
    AddDevice("MOUSE", "0000", "Mouse");
    AddDevice("QUERYFAILS", "0000", "Mouse");
    // Queries: NOCLASS, OTHERVALUE, MOUSE; after the restart NOCLASS, OTHERVALUE, then QUERYFAILS.
    hostwin::FailCall("RegQueryValueExA", "Class", ERROR_INVALID_PARAMETER, 6);
    SweepRootMice();
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot),
              (std::vector<std::string>{"NOINSTANCE", "NOCLASS", "OTHERVALUE", "REFUSED", "QUERYFAILS"}));
}

TEST_F(SweepSubkeysTest, FailedDeleteIsPassedOverAndTheSweepEnds) {
    AddDevice("A", "0000", "Mouse");
    AddDevice("B", "0000", "Keyboard");
    hostwin::FailCall("RegDeleteKeyA", "A", ERROR_ACCESS_DENIED);
    SweepRootMice();
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(CountLines("RegDeleteKeyA("), 1u);
    EXPECT_EQ(hostwin::CallLog().back(), "RegCloseKey(<HKLM\\Enum\\Root>) = 0");
}

TEST_F(SweepSubkeysTest, FailedDeleteDoesNotStopLaterMatches) {
    AddDevice("A", "0000", "Mouse");
    AddDevice("B", "0000", "Mouse");
    hostwin::FailCall("RegDeleteKeyA", "A", ERROR_ACCESS_DENIED);
    SweepRootMice();
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), std::vector<std::string>{"A"});
}

TEST_F(SweepSubkeysTest, NtPlatformRefusesEveryDeviceDeleteAndTheSweepEnds) {
    hostwin::SetDeleteMode(hostwin::DeleteMode::WindowsNT);
    AddDevice("A", "0000", "Mouse");
    AddDevice("B", "0000", "mouse");
    AddDevice("C", "0000", "Keyboard");
    SweepRootMice();
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(hostwin::CallLogOf({"RegDeleteKeyA"}),
              (std::vector<std::string>{"RegDeleteKeyA(<HKLM\\Enum\\Root>, \"A\") = 5",
                                        "RegDeleteKeyA(<HKLM\\Enum\\Root>, \"B\") = 5"}));
}

TEST_F(SweepSubkeysTest, NtPlatformStillDeletesClassKeysWithoutSubkeys) {
    hostwin::SetDeleteMode(hostwin::DeleteMode::WindowsNT);
    AddClassKey("0000", "zunmouse.vxd");
    AddClassKey("0001", "msmouse.vxd");
    SweepMouseClassKeys();
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kMouseClass), std::vector<std::string>{"0001"});
}

TEST_F(SweepSubkeysTest, MissingOrRefusedSweptKeyEndsAtOnce) {
    SweepRootMice();
    EXPECT_EQ(hostwin::CallLog(), std::vector<std::string>{"RegOpenKeyExA(HKLM, \"Enum\\Root\", 0, 0xF003F) = 2"});

    hostwin::Reset();
    AddDevice("A", "0000", "Mouse");
    hostwin::FailCall("RegOpenKeyExA", "Enum\\Root", ERROR_ACCESS_DENIED);
    SweepRootMice();
    EXPECT_EQ(hostwin::CallLog(), std::vector<std::string>{"RegOpenKeyExA(HKLM, \"Enum\\Root\", 0, 0xF003F) = 5"});
    EXPECT_TRUE(hostwin::KeyExists(HKLM, kRoot + "\\A"));
}

TEST_F(SweepSubkeysTest, SweptKeyWithoutSubkeysIsEnumeratedOnceAndClosed) {
    hostwin::AddKey(HKLM, kMouseClass);
    SweepMouseClassKeys();
    EXPECT_EQ(JoinLines(hostwin::CallLog()), JoinLines({
        "RegOpenKeyExA(HKLM, \"System\\CurrentControlSet\\Services\\class\\mouse\", 0, 0xF003F) = 0",
        "RegEnumKeyExA(<HKLM\\System\\CurrentControlSet\\Services\\class\\mouse>, 0, 256, NULL, NULL, NULL, &ft) = 259",
        "RegCloseKey(<HKLM\\System\\CurrentControlSet\\Services\\class\\mouse>) = 0",
    }));
}

TEST_F(SweepSubkeysTest, LongSubkeyNames) {
    // Setup's call: 250 characters and "\0000" fill the 256-byte path; 251 leave no room and the
    // subkey is passed over unopened. 256 characters cannot be received: the enumeration ends there.
    const std::string fits(250, 'F'), noRoom(251, 'N'), tooLong(256, 'T');
    AddDevice(noRoom, "0000", "Mouse");
    AddDevice(fits, "0000", "Mouse");
    AddDevice(tooLong, "0000", "Mouse");
    AddDevice("AFTER", "0000", "Mouse");
    SweepRootMice();
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), (std::vector<std::string>{noRoom, tooLong, "AFTER"}));
    EXPECT_EQ(CountLines("RegOpenKeyExA(<HKLM\\Enum\\Root>, \"" + noRoom), 0u) << "a path that does not fit must not be opened";

    // The uninstaller's call reads the subkey itself: 255 characters are fine.
    const std::string longest(255, 'L');
    AddClassKey(longest, "zunmouse.vxd");
    SweepMouseClassKeys();
    EXPECT_FALSE(hostwin::KeyExists(HKLM, kMouseClass + "\\" + longest));
}

TEST_F(SweepSubkeysTest, FailedEnumerationEndsTheSweep) {
    AddDevice("A", "0000", "Keyboard");
    AddDevice("B", "0000", "Mouse");
    hostwin::FailCall("RegEnumKeyExA", "HKLM\\Enum\\Root", ERROR_INVALID_PARAMETER, 2);
    SweepRootMice();
    EXPECT_TRUE(hostwin::KeyExists(HKLM, kRoot + "\\B"));
    EXPECT_EQ(hostwin::CallLog().back(), "RegCloseKey(<HKLM\\Enum\\Root>) = 0");
}

}  // namespace
