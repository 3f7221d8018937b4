// The reference model checked against cases worked out by hand from the rules, so that the fuzz
// targets compare the programs with something known to be right.
#include "reference_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }
std::vector<uint8_t> Sz(const std::string& text) { return Bytes(text + std::string(1, '\0')); }

model::Key& AddKey(model::Machine& machine, const std::string& path) {
    model::Key* key = &machine.localMachine;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = std::min(path.find('\\', start), path.size());
        std::string part = path.substr(start, end - start);
        model::Key* child = model::FindKey(*key, part);
        if (!child) {
            key->subkeys.push_back(model::Key{part, {}, {}});
            child = &key->subkeys.back();
        }
        key = child;
        start = end + 1;
    }
    return *key;
}

std::vector<std::string> SubkeyNames(const model::Machine& machine, const std::string& path) {
    std::vector<std::string> names;
    for (const model::Key& key : model::FindKey(machine.localMachine, path)->subkeys) names.push_back(key.name);
    return names;
}

std::vector<std::string> ValueNames(const model::Machine& machine, const std::string& path) {
    std::vector<std::string> names;
    for (const model::Value& value : model::FindKey(machine.localMachine, path)->values) names.push_back(value.name);
    return names;
}

const char kRoot[] = "Enum\\Root";
const char kClass[] = "System\\CurrentControlSet\\Services\\class\\mouse";
const char kProb[] = "System\\CurrentControlSet\\Control\\ASD\\Prob";

// A root device whose "0000" instance has the Class data given.
void AddDevice(model::Machine& machine, const std::string& name, const std::vector<uint8_t>& classData) {
    AddKey(machine, std::string(kRoot) + "\\" + name + "\\0000").values.push_back({"Class", 1, classData});
}

struct ClassDataCase {
    const char* what;
    std::vector<uint8_t> data;
    bool removed;
};

TEST(ReferenceModelSweep, ClassDataThatMatches) {
    const ClassDataCase cases[] = {
        {"same text", Sz("Mouse"), true},
        {"capitals", Sz("MOUSE"), true},
        {"bytes after the NUL", Bytes(std::string("mouse\0junk", 10)), true},
        {"no NUL", Bytes("Mouse"), false},
        {"trailing blank", Sz("Mouse "), false},
        {"prefix", Sz("Mous"), false},
        {"empty", Bytes(""), false},
        {"256 bytes", Bytes(std::string("Mouse\0", 6) + std::string(250, 'x')), true},
        {"257 bytes, refused by the query", Bytes(std::string("Mouse\0", 6) + std::string(251, 'x')), false},
        {"letter beyond ASCII in other case", Sz("MOUS\xC9"), false},
    };
    for (const ClassDataCase& c : cases) {
        model::Machine machine;
        AddDevice(machine, "DEV", c.data);
        model::SweepRootMouseDevices(machine);
        EXPECT_EQ(SubkeyNames(machine, kRoot).empty(), c.removed) << c.what;
    }
}

TEST(ReferenceModelSweep, EveryMatchGoesBeforeALongNameAndNothingAfterIt) {
    model::Machine machine;
    AddDevice(machine, "A", Sz("Mouse"));
    AddDevice(machine, "B", Sz("Keyboard"));
    AddDevice(machine, "C", Sz("mouse"));
    AddDevice(machine, std::string(256, 'L'), Sz("Mouse"));
    AddDevice(machine, "D", Sz("Mouse"));
    model::SweepRootMouseDevices(machine);
    EXPECT_EQ(SubkeyNames(machine, kRoot), (std::vector<std::string>{"B", std::string(256, 'L'), "D"}));
}

TEST(ReferenceModelSweep, NameTooLongForTheSuffixIsPassedOver) {
    model::Machine machine;
    AddDevice(machine, std::string(251, 'a'), Sz("Mouse"));
    AddDevice(machine, std::string(250, 'b'), Sz("Mouse"));
    model::SweepRootMouseDevices(machine);
    EXPECT_EQ(SubkeyNames(machine, kRoot), std::vector<std::string>{std::string(251, 'a')});
}

TEST(ReferenceModelSweep, NtModeKeepsKeysWithSubkeys) {
    model::Machine machine;
    machine.ntDeleteMode = true;
    AddDevice(machine, "DEV", Sz("Mouse"));
    AddKey(machine, std::string(kClass) + "\\0000").values.push_back({"MouseDriver", 1, Sz("zunmouse.vxd")});
    AddKey(machine, std::string(kClass) + "\\0001\\sub").values.push_back({"x", 1, Sz("y")});
    model::FindKey(machine.localMachine, std::string(kClass) + "\\0001")->values.push_back({"MOUSEDRIVER", 1, Sz("ZUNMOUSE.VXD")});
    model::SweepRootMouseDevices(machine);
    model::SweepMouseClassKeys(machine);
    EXPECT_EQ(SubkeyNames(machine, kRoot), std::vector<std::string>{"DEV"});
    EXPECT_EQ(SubkeyNames(machine, kClass), std::vector<std::string>{"0001"});
}

TEST(ReferenceModelSweep, RefusedCallsLeaveTheirKeys) {
    model::Machine machine;
    for (const char* name : {"A", "B", "C", "D"}) AddDevice(machine, name, Sz("Mouse"));
    machine.refusals = {{"RegOpenKeyExA", "a\\0000"}, {"RegDeleteKeyA", "b"}, {"RegOpenKeyExA", "C"}};
    model::SweepRootMouseDevices(machine);
    EXPECT_EQ(SubkeyNames(machine, kRoot), (std::vector<std::string>{"A", "B"}));

    machine.refusals = {{"RegEnumKeyExA", "HKLM\\Enum\\Root"}};
    model::SweepRootMouseDevices(machine);
    EXPECT_EQ(SubkeyNames(machine, kRoot), (std::vector<std::string>{"A", "B"}));
    machine.refusals = {{"RegQueryValueExA", ""}};
    model::SweepRootMouseDevices(machine);
    EXPECT_EQ(SubkeyNames(machine, kRoot), (std::vector<std::string>{"A", "B"}));
}

TEST(ReferenceModelPurge, RemovesEveryRecordAndNothingElse) {
    model::Machine machine;
    model::Key& first = AddKey(machine, std::string(kProb) + "\\0");
    for (const char* name : {"SERENUM\\ZMK8001", "ROOT\\ZMK8001\\0000", "ROOT\\ZMK8001", "SERENUM\\ZMK8001x",
                             "ROOT\\ZMK800", "root\\ZMK8001", " ROOT\\ZMK8001", "ACPI\\SERENUM\\ZMK8001", ""})
        first.values.push_back({name, 1, Sz("")});
    AddKey(machine, std::string(kProb) + "\\1").values.push_back({"ROOT\\ZMK8001", 3, Bytes("")});
    model::PurgeProblemRecords(machine);
    EXPECT_EQ(ValueNames(machine, std::string(kProb) + "\\0"),
              (std::vector<std::string>{"ROOT\\ZMK800", "root\\ZMK8001", " ROOT\\ZMK8001", "ACPI\\SERENUM\\ZMK8001", ""}));
    EXPECT_EQ(ValueNames(machine, std::string(kProb) + "\\1"), std::vector<std::string>{});
    EXPECT_EQ(SubkeyNames(machine, kProb), (std::vector<std::string>{"0", "1"}));
}

TEST(ReferenceModelPurge, LongNamesEndTheirLevelAndRefusalsKeepRecords) {
    model::Machine machine;
    std::string longName = "ROOT\\ZMK8001" + std::string(244, 'x');  // 256 characters
    model::Key& first = AddKey(machine, std::string(kProb) + "\\0");
    for (const std::string& name : {std::string("ROOT\\ZMK8001\\1"), std::string("ROOT\\ZMK8001\\2"), longName,
                                    std::string("ROOT\\ZMK8001\\3")})
        first.values.push_back({name, 1, Sz("")});
    AddKey(machine, std::string(kProb) + "\\refused").values.push_back({"ROOT\\ZMK8001", 1, Sz("")});
    AddKey(machine, std::string(kProb) + "\\" + std::string(256, 'k')).values.push_back({"ROOT\\ZMK8001", 1, Sz("")});
    AddKey(machine, std::string(kProb) + "\\last").values.push_back({"ROOT\\ZMK8001", 1, Sz("")});
    machine.refusals = {{"RegDeleteValueA", "root\\zmk8001\\1"}, {"RegOpenKeyExA", "REFUSED"}};
    model::PurgeProblemRecords(machine);
    EXPECT_EQ(ValueNames(machine, std::string(kProb) + "\\0"),
              (std::vector<std::string>{"ROOT\\ZMK8001\\1", longName, "ROOT\\ZMK8001\\3"}));
    EXPECT_EQ(ValueNames(machine, std::string(kProb) + "\\refused").size(), 1u);
    EXPECT_EQ(ValueNames(machine, std::string(kProb) + "\\last").size(), 1u);
}

struct PathCase {
    const char* what;
    std::string modulePath;
    unsigned codePage;
    bool called;
    std::string sourceRoot;
};

TEST(ReferenceModelPackageDirectory, WhatReachesSetupApi) {
    std::string dir255 = "\\" + std::string(253, 'd') + "\\";
    std::string dir256 = "\\" + std::string(254, 'd') + "\\";
    const PathCase cases[] = {
        {"ordinary", "C:\\Drivers\\Mouse\\setup.exe", 1252, true, "C:\\Drivers\\Mouse"},
        {"drive root", "A:\\setup.exe", 1252, true, "A:"},
        {"UNC", "\\\\server\\share\\drv\\setup.exe", 1252, true, "\\\\server\\share\\drv"},
        {"forward slashes", "C:/drv/setup.exe", 1252, true, "C:/drv/"},
        {"no separator", "setup.exe", 1252, true, ""},
        {"932 trail byte 0x5C ends the folder", "C:\\pkg\x95\\\\setup.exe", 932, true, "C:\\pkg\x95\\"},
        {"932 trail byte 0x5C in the file name", "C:\\pkg\\s\x95\\.exe", 932, true, "C:\\pkg"},
        {"1252 reads that byte as a separator", "C:\\pkg\\s\x95\\.exe", 1252, true, "C:\\pkg\\s\x95"},
        {"932 lead byte as the last byte", "C:\\d\\\x81", 932, true, "C:\\d"},
        {"directory part of 255 bytes: the INF path no longer fits", "C:" + dir255 + "s.exe", 1252, false, ""},
        {"directory part of 231 bytes", dir255.substr(0, 230) + "\\s.exe", 1252, true, dir255.substr(0, 230)},
        {"directory part of 256 bytes", dir256 + "s.exe", 1252, false, ""},
        {"empty", "", 1252, false, ""},
        {"259 bytes", "C:\\" + std::string(256, 'f'), 1252, true, "C:"},
        {"260 bytes, cut", "C:\\" + std::string(257, 'f'), 1252, false, ""},
    };
    for (const PathCase& c : cases) {
        std::optional<model::InfCall> call = model::SetupInfCall(c.modulePath, c.codePage);
        ASSERT_EQ(call.has_value(), c.called) << c.what;
        if (!call) continue;
        EXPECT_EQ(call->sourceRoot, c.sourceRoot) << c.what;
        EXPECT_EQ(call->infPath, c.sourceRoot + "\\zunmouse.inf") << c.what;
    }
}

TEST(ReferenceModelPackageDirectory, InfPathMustFitThePathBuffer) {
    std::string folder246 = "C:\\" + std::string(243, 'p');  // package directory of 246 bytes
    EXPECT_TRUE(model::SetupInfCall(folder246 + "\\s.exe", 1252));
    EXPECT_FALSE(model::SetupInfCall(folder246 + "p\\s.exe", 1252));
}

}  // namespace
