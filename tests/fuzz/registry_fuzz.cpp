// Fuzz target: random registry trees through setup's and ZunHV5Un's sweeps and the problem-record
// purge, each compared with the reference model; no key may be left open.
#include "fuzz_report.h"
#include "reference_model.h"
#include "registry_case.h"

#include "purge_problem_records.h"
#include "zunmek.h"

#include <hostwin/control.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::string Join(const std::string& path, const std::string& name) { return path.empty() ? name : path + "\\" + name; }

void LoadIntoHostwin(const model::Key& key, const std::string& path) {
    if (!path.empty()) hostwin::AddKey(HKEY_LOCAL_MACHINE, path);
    for (const model::Value& value : key.values) hostwin::SetValue(HKEY_LOCAL_MACHINE, path, value.name, value.type, value.data);
    for (const model::Key& subkey : key.subkeys) LoadIntoHostwin(subkey, Join(path, subkey.name));
}

void LoadIntoHostwin(const RegistryCase& fixture) {
    hostwin::SetDeleteMode(fixture.machine.ntDeleteMode ? hostwin::DeleteMode::WindowsNT
                                                        : hostwin::DeleteMode::Windows9x);
    LoadIntoHostwin(fixture.machine.localMachine, "");
    for (size_t i = 0; i < fixture.machine.refusals.size(); ++i)
        hostwin::FailCall(fixture.machine.refusals[i].function, fixture.machine.refusals[i].argument,
                          fixture.refusalCodes[i]);
}

// hostwin's registry as it now stands, read back through its control interface.
model::Key ReadHostwinTree(const std::string& path) {
    model::Key key;
    for (const std::string& name : hostwin::ValueNames(HKEY_LOCAL_MACHINE, path))
        key.values.push_back(model::Value{name, 0, *hostwin::ValueData(HKEY_LOCAL_MACHINE, path, name)});
    for (const std::string& name : hostwin::SubkeyNames(HKEY_LOCAL_MACHINE, path)) {
        key.subkeys.push_back(ReadHostwinTree(Join(path, name)));
        key.subkeys.back().name = name;
    }
    return key;
}

// One line per key and value, in enumeration order (types are not compared: nothing writes them).
void List(const model::Key& key, const std::string& path, std::vector<std::string>& lines) {
    for (const model::Value& value : key.values)
        lines.push_back("value " + Printable(path) + " : " + Printable(value.name) + " = " +
                        Printable(std::string(value.data.begin(), value.data.end())));
    for (const model::Key& subkey : key.subkeys) {
        std::string subkeyPath = Join(path, subkey.name);
        lines.push_back("key " + Printable(subkeyPath));
        List(subkey, subkeyPath, lines);
    }
}

void ExpectRegistry(const model::Machine& expected, const std::string& when) {
    std::vector<std::string> expectedLines, actualLines;
    List(expected.localMachine, "", expectedLines);
    List(ReadHostwinTree(""), "", actualLines);
    if (expectedLines != actualLines) ReportMismatch("registry " + when, expectedLines, actualLines);
    if (!hostwin::OpenHandles().empty()) ReportMismatch("handles left open " + when, {}, hostwin::OpenHandles());
}

// With ZUN_FUZZ_VERBOSE set, what an input decoded to, for writing seeds and reading reproducers.
void PrintCase(const RegistryCase& fixture) {
    if (!std::getenv("ZUN_FUZZ_VERBOSE")) return;
    std::vector<std::string> lines;
    List(fixture.machine.localMachine, "", lines);
    std::fprintf(stderr, "%s delete mode\n", fixture.machine.ntDeleteMode ? "NT" : "Windows 9x");
    for (const std::string& line : lines) std::fprintf(stderr, "  %s\n", line.c_str());
    for (size_t i = 0; i < fixture.machine.refusals.size(); ++i)
        std::fprintf(stderr, "  refused: %s(%s) = %u\n", fixture.machine.refusals[i].function.c_str(),
                     Printable(fixture.machine.refusals[i].argument).c_str(), fixture.refusalCodes[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RegistryCase fixture = DecodeRegistryCase(data, size);
    PrintCase(fixture);
    hostwin::Reset();
    LoadIntoHostwin(fixture);
    model::Machine& expected = fixture.machine;
    ExpectRegistry(expected, "as loaded");

    SweepSubkeys("Enum\\Root", "\\0000", "Class", "Mouse");
    model::SweepRootMouseDevices(expected);
    ExpectRegistry(expected, "after setup's root device sweep");

    SweepSubkeys("System\\CurrentControlSet\\Services\\class\\mouse", "", "MouseDriver", "zunmouse.vxd");
    model::SweepMouseClassKeys(expected);
    ExpectRegistry(expected, "after ZunHV5Un's mouse class key sweep");

    PurgeProblemRecords();
    model::PurgeProblemRecords(expected);
    ExpectRegistry(expected, "after the problem-record purge");
    return 0;
}
