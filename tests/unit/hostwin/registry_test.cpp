// The stand-in registry must answer as Windows does wherever the programs can tell, or the unit
// tests prove nothing: these pin down the behaviour the routines depend on.
#include "hostwin_test.h"

#include <cstring>

namespace {

const HKEY HKLM = HKEY_LOCAL_MACHINE;

class RegistryTest : public HostwinTest {
protected:
    HKEY Open(const char* path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKLM, path, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS) << path;
        return key;
    }
};

TEST_F(RegistryTest, NamesIgnoreAsciiCaseAndMissingKeysAreNotFound) {
    hostwin::SetString(HKLM, "Enum\\Root\\Dev", "Class", "Mouse");
    HKEY key = Open("ENUM\\root\\dEV");
    BYTE data[16];
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key, "CLASS", NULL, NULL, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(RegQueryValueExA(key, "Other", NULL, NULL, data, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKLM, "Enum\\Nothing", 0, KEY_ALL_ACCESS, &missing), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, DeleteClosesTheGapInTheEnumeration) {
    for (const char* name : {"A", "B", "C"}) hostwin::AddKey(HKLM, std::string("Root\\") + name);
    HKEY root = Open("Root");
    char name[256];
    DWORD capacity = sizeof name;
    ASSERT_EQ(RegDeleteKeyA(root, "A"), ERROR_SUCCESS);
    ASSERT_EQ(RegEnumKeyExA(root, 0, name, &capacity, NULL, NULL, NULL, NULL), ERROR_SUCCESS);
    EXPECT_STREQ(name, "B");
    EXPECT_EQ(capacity, 1u);
    capacity = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(root, 2, name, &capacity, NULL, NULL, NULL, NULL), ERROR_NO_MORE_ITEMS);
    RegCloseKey(root);
}

TEST_F(RegistryTest, NamesAndDataThatDoNotFitAreRefusedWithMoreData) {
    hostwin::AddKey(HKLM, "Root\\" + std::string(255, 'a'));
    hostwin::AddKey(HKLM, "Root\\" + std::string(256, 'b'));
    hostwin::SetValue(HKLM, "Root", std::string(256, 'v'), REG_SZ, StringBytes("x"));
    hostwin::SetValue(HKLM, "Root", "big", REG_BINARY, std::vector<uint8_t>(257, 1));
    HKEY root = Open("Root");
    char name[256];
    DWORD capacity = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(root, 0, name, &capacity, NULL, NULL, NULL, NULL), ERROR_SUCCESS);
    EXPECT_EQ(capacity, 255u);
    capacity = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(root, 1, name, &capacity, NULL, NULL, NULL, NULL), ERROR_MORE_DATA);
    capacity = sizeof name;
    EXPECT_EQ(RegEnumValueA(root, 0, name, &capacity, NULL, NULL, NULL, NULL), ERROR_MORE_DATA);
    BYTE data[256];
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(root, "big", NULL, NULL, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 257u);
    RegCloseKey(root);
}

TEST_F(RegistryTest, DataIsReturnedAsStored) {
    hostwin::SetValue(HKLM, "Root", "raw", REG_BINARY, {'a', 'b'});
    HKEY root = Open("Root");
    BYTE data[8];
    std::memset(data, 0x55, sizeof data);
    DWORD size = sizeof data;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExA(root, "raw", NULL, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data[2], 0x55) << "no NUL may be added to data stored without one";
    RegCloseKey(root);
}

TEST_F(RegistryTest, DeleteKeyIn9xAndNtMode) {
    hostwin::AddKey(HKLM, "Root\\Dev\\0000");
    HKEY root = Open("Root");
    hostwin::SetDeleteMode(hostwin::DeleteMode::WindowsNT);
    EXPECT_EQ(RegDeleteKeyA(root, "Dev"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(hostwin::KeyExists(HKLM, "Root\\Dev\\0000"));
    hostwin::SetDeleteMode(hostwin::DeleteMode::Windows9x);
    EXPECT_EQ(RegDeleteKeyA(root, "Dev"), ERROR_SUCCESS);
    EXPECT_FALSE(hostwin::KeyExists(HKLM, "Root\\Dev"));
    EXPECT_EQ(RegDeleteKeyA(root, "Dev"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(root);
}

TEST_F(RegistryTest, HandlesAreTrackedAndFaultsInjectedByArgument) {
    hostwin::AddKey(HKLM, "Root\\A");
    hostwin::FailCall("RegOpenKeyExA", "root\\a", ERROR_ACCESS_DENIED, 2);
    HKEY first = Open("Root\\A");
    HKEY second = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKLM, "Root\\A", 0, KEY_ALL_ACCESS, &second), ERROR_ACCESS_DENIED);
    EXPECT_EQ(hostwin::OpenHandles(), std::vector<std::string>{"key <HKLM\\Root\\A>"});
    EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);
}

TEST_F(HostwinTest, KernelQueriesTruncateAndFailAsDocumented) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    hostwin::SetModulePath("C:\\abcdefgh.exe");
    EXPECT_EQ(GetModuleFileNameA(NULL, buffer, sizeof buffer), 8u);  // cut to the buffer, no NUL
    EXPECT_EQ(std::string(buffer, 8), "C:\\abcde");
    hostwin::SetWindowsDirectory("C:\\WINDOWS");
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 11u);  // size needed, buffer untouched
    EXPECT_EQ(buffer[0], '#');
    hostwin::SetWindowsDirectoryFails(true);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 0u);
    EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x95));
    EXPECT_FALSE(IsDBCSLeadByteEx(932, 0x5C));
    EXPECT_FALSE(IsDBCSLeadByteEx(1252, 0x95));
}

}  // namespace
