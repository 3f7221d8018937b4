#include "hostwin_test.h"
#include "purge_problem_records.h"

#include <algorithm>

namespace {

const HKEY HKLM = HKEY_LOCAL_MACHINE;
const std::string kProb = "System\\CurrentControlSet\\Control\\ASD\\Prob";
const std::string kProbLogged = "HKLM\\" + kProb;  // how the log names the open problem key

void AddRecord(const std::string& subkey, const std::string& name, DWORD type = REG_BINARY,
               const std::vector<uint8_t>& data = {0x01, 0x00, 0x00, 0x00}) {
    hostwin::SetValue(HKLM, kProb + "\\" + subkey, name, type, data);
}
std::vector<std::string> ValuesIn(const std::string& subkey) { return hostwin::ValueNames(HKLM, kProb + "\\" + subkey); }
using Names = std::vector<std::string>;

// The value indexes the sweep enumerated in one subkey, in order.
std::vector<DWORD> ValueIndexesEnumerated(const std::string& subkey) {
    std::string prefix = "RegEnumValueA(<" + kProbLogged + "\\" + subkey + ">, ";
    std::vector<DWORD> indexes;
    for (const std::string& line : hostwin::CallLogOf({"RegEnumValueA"}))
        if (line.compare(0, prefix.size(), prefix) == 0) indexes.push_back(std::stoul(line.substr(prefix.size())));
    return indexes;
}

class PurgeProblemRecordsTest : public HostwinTest {};

TEST_F(PurgeProblemRecordsTest, OnlyNamesThatBeginWithAnIdentifierByteForByte) {
    struct Case {
        std::string name;
        bool deleted;
    };
    const Case cases[] = {
        {"SERENUM\\ZMK8001", true},
        {"ROOT\\ZMK8001", true},
        {"SERENUM\\ZMK8001\\3&1B2C&0", true},
        {"ROOT\\ZMK8001\\0000", true},
        {"ROOT\\ZMK8001X", true},
        {"SERENUM\\ZMK80012 ", true},
        {"SERENUM\\ZMK800", false},  // one character short
        {"ROOT\\ZMK800", false},
        {"SERENUM", false},
        {"ROOT\\", false},
        {"", false},  // the key's default value
        {" ROOT\\ZMK8001", false},
        {"ISAPNP\\ROOT\\ZMK8001", false},
        {"BIOS\\SERENUM\\ZMK8001", false},
        {"ROOT\\SERENUM\\ZMK8001", false},
        {"serenum\\zmk8001", false},
        {"SERENUM\\zmk8001", false},
        {"Root\\ZMK8001", false},
        {"ROOT\\zmk8001\\0000", false},
        {"ROOT/ZMK8001", false},
        {"SERENUM\\ZMK8002", false},
        {"ROOT\\ZMK9001", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.name + "\"");
        hostwin::Reset();
        AddRecord("Dev", "Before");
        AddRecord("Dev", c.name);
        AddRecord("Dev", "After");
        PurgeProblemRecords();
        EXPECT_EQ(ValuesIn("Dev"), (c.deleted ? Names{"Before", "After"} : Names{"Before", c.name, "After"}));
        EXPECT_TRUE(hostwin::KeyExists(HKLM, kProb + "\\Dev"));
    }
}

TEST_F(PurgeProblemRecordsTest, DataAndTypePlayNoPart) {
    std::vector<uint8_t> large(64 * 1024, 0xAB);  // would not fit any data buffer the sweep might offer
    struct Case {
        const char* name;
        DWORD type;
        std::vector<uint8_t> data;
    };
    const Case cases[] = {
        {"string", REG_SZ, StringBytes("ROOT\\ZMK8001")},
        {"empty string", REG_SZ, StringBytes("")},
        {"dword", REG_DWORD, {0x28, 0, 0, 0}},
        {"binary without a NUL", REG_BINARY, {'x', 'y'}},
        {"no data", REG_NONE, {}},
        {"64 KiB of binary", REG_BINARY, large},
        {"multi-string", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::Reset();
        AddRecord("Dev", "SERENUM\\ZMK8001\\1", c.type, c.data);
        AddRecord("Dev", "Keep", c.type, c.data);
        AddRecord("Dev", "ROOT\\ZMK8001\\0000", c.type, c.data);
        PurgeProblemRecords();
        EXPECT_EQ(ValuesIn("Dev"), Names{"Keep"});
        EXPECT_EQ(hostwin::ValueData(HKLM, kProb + "\\Dev", "Keep"), c.data);
        // Only the name is asked for, and never the type or the data.
        for (const std::string& line : hostwin::CallLogOf({"RegEnumValueA"}))
            EXPECT_NE(line.find(", 256, NULL, NULL, NULL, NULL)"), std::string::npos) << line;
        EXPECT_TRUE(hostwin::CallLogOf({"RegQueryValueExA"}).empty());
    }
}

TEST_F(PurgeProblemRecordsTest, RunsOfMatchingValuesAllGoInOneRun) {
    // Every delete closes the gap, so the value behind a deleted one moves into its index.
    struct Case {
        const char* name;
        Names values;
        Names left;
    };
    const Case cases[] = {
        {"two", {"ROOT\\ZMK8001\\0000", "ROOT\\ZMK8001\\0001"}, {}},
        {"three", {"SERENUM\\ZMK8001\\1", "ROOT\\ZMK8001\\0000", "SERENUM\\ZMK8001\\2"}, {}},
        {"four", {"ROOT\\ZMK8001\\1", "ROOT\\ZMK8001\\2", "ROOT\\ZMK8001\\3", "ROOT\\ZMK8001\\4"}, {}},
        {"four between others",
         {"A", "ROOT\\ZMK8001\\1", "SERENUM\\ZMK8001\\2", "ROOT\\ZMK8001\\3", "SERENUM\\ZMK8001", "B"},
         {"A", "B"}},
        {"match, other, match", {"ROOT\\ZMK8001", "Other", "SERENUM\\ZMK8001"}, {"Other"}},
        {"others, then a run at the end", {"A", "B", "ROOT\\ZMK8001\\1", "ROOT\\ZMK8001\\2"}, {"A", "B"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::Reset();
        for (const std::string& name : c.values) AddRecord("Dev", name);
        PurgeProblemRecords();
        EXPECT_EQ(ValuesIn("Dev"), c.left);
        EXPECT_TRUE(hostwin::KeyExists(HKLM, kProb + "\\Dev"));
    }
}

TEST_F(PurgeProblemRecordsTest, CallsInOrderWithTheIndexHeldAfterADelete) {
    AddRecord("Dev", "ROOT\\ZMK8001\\0000");
    AddRecord("Dev", "SERENUM\\ZMK8001\\1");
    AddRecord("Dev", "Other");
    AddRecord("Dev", "ROOT\\ZMK8001\\0001");
    PurgeProblemRecords();

    EXPECT_EQ(ValuesIn("Dev"), Names{"Other"});
    const std::string dev = "<" + kProbLogged + "\\Dev>";
    const std::string enumValue = "RegEnumValueA(" + dev + ", ";
    const std::string nameOnly = ", 256, NULL, NULL, NULL, NULL) = ";
    EXPECT_EQ(JoinLines(hostwin::CallLog()),
              JoinLines({
                  "RegOpenKeyExA(HKLM, \"System\\CurrentControlSet\\Control\\ASD\\Prob\", 0, 0xF003F) = 0",
                  "RegEnumKeyExA(<" + kProbLogged + ">, 0, 256, NULL, NULL, NULL, &ft) = 0 \"Dev\"",
                  "RegOpenKeyExA(<" + kProbLogged + ">, \"Dev\", 0, 0xF003F) = 0",
                  enumValue + "0" + nameOnly + "0 \"ROOT\\ZMK8001\\0000\"",
                  "RegDeleteValueA(" + dev + ", \"ROOT\\ZMK8001\\0000\") = 0",
                  enumValue + "0" + nameOnly + "0 \"SERENUM\\ZMK8001\\1\"",
                  "RegDeleteValueA(" + dev + ", \"SERENUM\\ZMK8001\\1\") = 0",
                  enumValue + "0" + nameOnly + "0 \"Other\"",
                  enumValue + "1" + nameOnly + "0 \"ROOT\\ZMK8001\\0001\"",
                  "RegDeleteValueA(" + dev + ", \"ROOT\\ZMK8001\\0001\") = 0",
                  enumValue + "1" + nameOnly + "259",
                  "RegCloseKey(" + dev + ") = 0",
                  "RegEnumKeyExA(<" + kProbLogged + ">, 1, 256, NULL, NULL, NULL, &ft) = 259",
                  "RegCloseKey(<" + kProbLogged + ">) = 0",
              }));
}

TEST_F(PurgeProblemRecordsTest, FailedDeleteLeavesTheValueAndTheSweepGoesOn) {
    AddRecord("Dev", "ROOT\\ZMK8001\\0000");
    AddRecord("Dev", "ROOT\\ZMK8001\\0001");
    AddRecord("Dev", "Other");
    AddRecord("Dev", "SERENUM\\ZMK8001\\1");
    AddRecord("Next", "ROOT\\ZMK8001\\0000");
    hostwin::FailCall("RegDeleteValueA", "ROOT\\ZMK8001\\0000", ERROR_ACCESS_DENIED, 1);
    PurgeProblemRecords();

    EXPECT_EQ(ValuesIn("Dev"), (Names{"ROOT\\ZMK8001\\0000", "Other"}));
    EXPECT_EQ(ValuesIn("Next"), Names{});  // the same name in the next subkey goes: only one delete failed
    // The refused value is tried once, then the index moves past it.
    EXPECT_EQ(ValueIndexesEnumerated("Dev"), (std::vector<DWORD>{0, 1, 1, 2, 2}));
    EXPECT_EQ(hostwin::CallLogOf({"RegDeleteValueA"}),
              (Names{
                  "RegDeleteValueA(<" + kProbLogged + "\\Dev>, \"ROOT\\ZMK8001\\0000\") = 5",
                  "RegDeleteValueA(<" + kProbLogged + "\\Dev>, \"ROOT\\ZMK8001\\0001\") = 0",
                  "RegDeleteValueA(<" + kProbLogged + "\\Dev>, \"SERENUM\\ZMK8001\\1\") = 0",
                  "RegDeleteValueA(<" + kProbLogged + "\\Next>, \"ROOT\\ZMK8001\\0000\") = 0",
              }));
}

TEST_F(PurgeProblemRecordsTest, EveryDeleteRefusedStillEnds) {
    for (const char* name : {"ROOT\\ZMK8001\\1", "ROOT\\ZMK8001\\2", "SERENUM\\ZMK8001", "Other"}) AddRecord("Dev", name);
    hostwin::FailCall("RegDeleteValueA", "", ERROR_ACCESS_DENIED);
    PurgeProblemRecords();
    EXPECT_EQ(ValuesIn("Dev"), (Names{"ROOT\\ZMK8001\\1", "ROOT\\ZMK8001\\2", "SERENUM\\ZMK8001", "Other"}));
    EXPECT_EQ(hostwin::CallLogOf({"RegDeleteValueA"}).size(), 3u);
    EXPECT_EQ(ValueIndexesEnumerated("Dev"), (std::vector<DWORD>{0, 1, 2, 3, 4}));
}

TEST_F(PurgeProblemRecordsTest, EachSubkeyOnItsOwnFromValueIndexZero) {
    for (const char* subkey : {"A", "B", "C"}) {
        AddRecord(subkey, "Other");
        AddRecord(subkey, std::string("ROOT\\ZMK8001\\") + subkey);
        AddRecord(subkey, "SERENUM\\ZMK8001");
    }
    AddRecord("D", "ROOT\\ZMK8001");  // its only value: the key stays without values
    hostwin::AddKey(HKLM, kProb + "\\E");  // no values at all
    PurgeProblemRecords();

    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kProb), (Names{"A", "B", "C", "D", "E"}));
    for (const char* subkey : {"A", "B", "C"}) {
        SCOPED_TRACE(subkey);
        EXPECT_EQ(ValuesIn(subkey), Names{"Other"});
        EXPECT_EQ(ValueIndexesEnumerated(subkey), (std::vector<DWORD>{0, 1, 1, 1}));
    }
    EXPECT_EQ(ValuesIn("D"), Names{});
    EXPECT_EQ(ValueIndexesEnumerated("D"), (std::vector<DWORD>{0, 0}));
    EXPECT_EQ(ValueIndexesEnumerated("E"), std::vector<DWORD>{0});
    // Each subkey is enumerated once, in order, and the enumeration never starts again.
    std::vector<std::string> subkeyEnumerations = hostwin::CallLogOf({"RegEnumKeyExA"});
    ASSERT_EQ(subkeyEnumerations.size(), 6u);
    for (size_t i = 0; i < subkeyEnumerations.size(); ++i)
        EXPECT_EQ(subkeyEnumerations[i].find("RegEnumKeyExA(<" + kProbLogged + ">, " + std::to_string(i) + ", 256, "), 0u)
            << subkeyEnumerations[i];
}

TEST_F(PurgeProblemRecordsTest, SubkeyWithoutValuesIsOpenedEnumeratedOnceAndClosed) {
    hostwin::AddKey(HKLM, kProb + "\\Empty");
    PurgeProblemRecords();
    EXPECT_TRUE(hostwin::KeyExists(HKLM, kProb + "\\Empty"));
    EXPECT_EQ(JoinLines(hostwin::CallLog()),
              JoinLines({
                  "RegOpenKeyExA(HKLM, \"System\\CurrentControlSet\\Control\\ASD\\Prob\", 0, 0xF003F) = 0",
                  "RegEnumKeyExA(<" + kProbLogged + ">, 0, 256, NULL, NULL, NULL, &ft) = 0 \"Empty\"",
                  "RegOpenKeyExA(<" + kProbLogged + ">, \"Empty\", 0, 0xF003F) = 0",
                  "RegEnumValueA(<" + kProbLogged + "\\Empty>, 0, 256, NULL, NULL, NULL, NULL) = 259",
                  "RegCloseKey(<" + kProbLogged + "\\Empty>) = 0",
                  "RegEnumKeyExA(<" + kProbLogged + ">, 1, 256, NULL, NULL, NULL, &ft) = 259",
                  "RegCloseKey(<" + kProbLogged + ">) = 0",
              }));
}

TEST_F(PurgeProblemRecordsTest, ProblemKeyMissingRefusedOrEmpty) {
    const std::string openProb = "RegOpenKeyExA(HKLM, \"System\\CurrentControlSet\\Control\\ASD\\Prob\", 0, 0xF003F)";
    struct Case {
        const char* name;
        void (*arrange)();
        Names log;
        Names valuesOfTheProblemKey;
    };
    const Case cases[] = {
        {"no problem key", [] { hostwin::AddKey(HKLM, "System\\CurrentControlSet\\Control\\ASD"); },
         {openProb + " = 2"}, {}},
        {"access refused",
         [] {
             AddRecord("Dev", "ROOT\\ZMK8001");
             hostwin::FailCall("RegOpenKeyExA", kProb, ERROR_ACCESS_DENIED);
         },
         {openProb + " = 5"}, {}},
        {"no subkeys", [] { hostwin::SetValue(HKLM, kProb, "ROOT\\ZMK8001", REG_BINARY, {1}); },
         {openProb + " = 0", "RegEnumKeyExA(<" + kProbLogged + ">, 0, 256, NULL, NULL, NULL, &ft) = 259",
          "RegCloseKey(<" + kProbLogged + ">) = 0"},
         {"ROOT\\ZMK8001"}},  // a value of the problem key itself is not looked at
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::Reset();
        c.arrange();
        PurgeProblemRecords();
        EXPECT_EQ(JoinLines(hostwin::CallLog()), JoinLines(c.log));
        EXPECT_EQ(hostwin::ValueNames(HKLM, kProb), c.valuesOfTheProblemKey);
    }
}

TEST_F(PurgeProblemRecordsTest, SubkeyThatCannotBeOpenedIsPassedOver) {
    for (const char* subkey : {"A", "B", "C"}) AddRecord(subkey, "ROOT\\ZMK8001");
    hostwin::FailCall("RegOpenKeyExA", "B", ERROR_ACCESS_DENIED);
    PurgeProblemRecords();
    EXPECT_EQ(ValuesIn("A"), Names{});
    EXPECT_EQ(ValuesIn("B"), Names{"ROOT\\ZMK8001"});
    EXPECT_EQ(ValuesIn("C"), Names{});
}

TEST_F(PurgeProblemRecordsTest, NamesOf256CharactersOrMoreEndTheirLevel) {
    const std::string name255 = "ROOT\\ZMK8001" + std::string(255 - 12, 'x');
    const std::string name256 = "ROOT\\ZMK8001" + std::string(256 - 12, 'y');
    const std::string subkey255(255, 's');
    const std::string subkey256(256, 't');

    // Values: the longest name received still goes; one that cannot be received ends the
    // subkey's enumeration, and the next subkey is still swept.
    AddRecord("A", name255);
    AddRecord("A", "ROOT\\ZMK8001\\0000");
    AddRecord("A", name256);
    AddRecord("A", "ROOT\\ZMK8001\\0001");
    AddRecord("B", "ROOT\\ZMK8001");
    // Subkeys: a 255-character name is swept; a longer one ends the sweep.
    AddRecord(subkey255, "SERENUM\\ZMK8001");
    AddRecord(subkey256, "SERENUM\\ZMK8001");
    AddRecord("C", "SERENUM\\ZMK8001");
    PurgeProblemRecords();

    EXPECT_EQ(ValuesIn("A"), (Names{name256, "ROOT\\ZMK8001\\0001"}));
    EXPECT_EQ(ValuesIn("B"), Names{});
    EXPECT_EQ(ValuesIn(subkey255), Names{});
    EXPECT_EQ(ValuesIn(subkey256), Names{"SERENUM\\ZMK8001"});
    EXPECT_EQ(ValuesIn("C"), Names{"SERENUM\\ZMK8001"});
    EXPECT_EQ(hostwin::CallLogOf({"RegEnumKeyExA"}).back(),
              "RegEnumKeyExA(<" + kProbLogged + ">, 3, 256, NULL, NULL, NULL, &ft) = 234");
}

TEST_F(PurgeProblemRecordsTest, AnyEnumerationFailureEndsItsLevel) {
    for (const char* subkey : {"A", "B", "C"}) {
        AddRecord(subkey, "Other");
        AddRecord(subkey, "ROOT\\ZMK8001");
    }
    // The second value enumeration in B fails; the second subkey enumeration succeeds, the third fails.
    hostwin::FailCall("RegEnumValueA", "HKLM\\" + kProb + "\\B", ERROR_INVALID_PARAMETER, 2);
    hostwin::FailCall("RegEnumKeyExA", "HKLM\\" + kProb, ERROR_ACCESS_DENIED, 3);
    PurgeProblemRecords();
    EXPECT_EQ(ValuesIn("A"), Names{"Other"});
    EXPECT_EQ(ValuesIn("B"), (Names{"Other", "ROOT\\ZMK8001"}));
    EXPECT_EQ(ValuesIn("C"), (Names{"Other", "ROOT\\ZMK8001"}));
}

}  // namespace
