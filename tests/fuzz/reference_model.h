// Reference model of what the programs may delete, written from the rules alone: plain values in,
// plain values out, no Win32 and no code shared with the routines it checks. The fuzz targets
// run the routines against hostwin and compare the outcome with this model after every run.
#ifndef ZUN_FUZZ_REFERENCE_MODEL_H
#define ZUN_FUZZ_REFERENCE_MODEL_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace model {

struct Value {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// A registry key with its subkeys and values in enumeration order.
struct Key {
    std::string name;
    std::vector<Key> subkeys;
    std::vector<Value> values;
};

// A call that the platform refuses: every call of `function` whose subject (the subkey path passed,
// the value name, or for enumerations "HKLM\..." the full path of the key) equals `argument` without
// regard to ASCII case; an empty argument refuses every call of the function.
struct Refusal {
    std::string function;
    std::string argument;
};

struct Machine {
    Key localMachine;           // HKEY_LOCAL_MACHINE
    bool ntDeleteMode = false;  // NT: a key that still has subkeys cannot be deleted
    std::vector<Refusal> refusals;
};

// ASCII-only case folding and comparison, the only case rule the platform and the programs use.
std::string FoldAscii(const std::string& text);
bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b);

// The key at a backslash-separated path below `root`, names compared without regard to ASCII case.
Key* FindKey(Key& root, const std::string& path);
const Key* FindKey(const Key& root, const std::string& path);

// The effect of SweepSubkeys(sweptKeyPath, suffix, valueName, matchText) on `machine`.
void SweepSubkeys(Machine& machine, const std::string& sweptKeyPath, const std::string& suffix,
                  const std::string& valueName, const std::string& matchText);

// The effect of PurgeProblemRecords on `machine`.
void PurgeProblemRecords(Machine& machine);

// What setup hands SetupAPI for a module path: the INF path and the source root, or nothing when
// it makes no SetupAPI call at all.
struct InfCall {
    std::string infPath;
    std::string sourceRoot;
};
std::optional<InfCall> SetupInfCall(const std::string& modulePath, unsigned codePage);

// The two sweeps the programs make.
void SweepRootMouseDevices(Machine& machine);   // setup
void SweepMouseClassKeys(Machine& machine);     // ZunHV5Un

}  // namespace model

#endif
