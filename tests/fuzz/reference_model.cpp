// Reference model of the deletions and of setup's package directory; see reference_model.h.
#include "reference_model.h"

#include <cstddef>

namespace model {
namespace {

const size_t kLongestName = 255;        // names the 256-byte buffers receive
const size_t kLongestValueData = 256;   // bytes a query into the 256-byte buffer returns
const size_t kPathBufferSize = 260;     // MAX_PATH, NUL included
const size_t kLongestDirectoryPart = 255;

const char kProblemKeyPath[] = "System\\CurrentControlSet\\Control\\ASD\\Prob";
const char* const kProblemRecordPrefixes[] = {"SERENUM\\ZMK8001", "ROOT\\ZMK8001"};

bool Refused(const Machine& machine, const std::string& function, const std::string& subject) {
    for (const Refusal& refusal : machine.refusals)
        if (refusal.function == function &&
            (refusal.argument.empty() || EqualIgnoringAsciiCase(refusal.argument, subject)))
            return true;
    return false;
}

const Value* FindValue(const Key& key, const std::string& name) {
    for (const Value& value : key.values)
        if (EqualIgnoringAsciiCase(value.name, name)) return &value;
    return nullptr;
}

// The data hold the match text, ASCII letters in any case, and then a NUL.
bool DataHoldsText(const std::vector<uint8_t>& data, const std::string& text) {
    if (data.size() < text.size() + 1 || data[text.size()] != 0) return false;
    return FoldAscii(std::string(data.begin(), data.begin() + text.size())) == FoldAscii(text);
}

bool SubkeyMatches(const Machine& machine, const Key& sweptKey, const Key& subkey, const std::string& suffix,
                   const std::string& valueName, const std::string& matchText) {
    std::string valueKeyPath = subkey.name + suffix;
    if (valueKeyPath.size() > kLongestName) return false;  // does not fit the 256-byte path buffer
    if (Refused(machine, "RegOpenKeyExA", valueKeyPath)) return false;
    const Key* valueKey = FindKey(sweptKey, valueKeyPath);
    if (!valueKey) return false;
    if (Refused(machine, "RegQueryValueExA", valueName)) return false;
    const Value* value = FindValue(*valueKey, valueName);
    if (!value || value->data.size() > kLongestValueData) return false;
    return DataHoldsText(value->data, matchText);
}

bool CanDeleteKey(const Machine& machine, const Key& key) {
    if (Refused(machine, "RegDeleteKeyA", key.name)) return false;
    return !machine.ntDeleteMode || key.subkeys.empty();
}

bool IsProblemRecord(const std::string& valueName) {
    for (const char* prefix : kProblemRecordPrefixes)
        if (valueName.compare(0, std::string(prefix).size(), prefix) == 0) return true;
    return false;
}

bool IsLeadByte(unsigned codePage, unsigned char byte) {
    return codePage == 932 && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

}  // namespace

std::string FoldAscii(const std::string& text) {
    std::string folded = text;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) { return FoldAscii(a) == FoldAscii(b); }

const Key* FindKey(const Key& root, const std::string& path) {
    const Key* key = &root;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        const Key* child = nullptr;
        for (const Key& subkey : key->subkeys)
            if (!child && EqualIgnoringAsciiCase(subkey.name, part)) child = &subkey;
        if (!child) return nullptr;
        key = child;
        start = end + 1;
    }
    return key;
}

Key* FindKey(Key& root, const std::string& path) {
    return const_cast<Key*>(FindKey(static_cast<const Key&>(root), path));
}

// Every subkey before the first name too long to enumerate goes when its value matches and the
// platform lets it be deleted. The routine starts again at index 0 after each delete, so whatever
// order it visits them in, that is the set it removes; what comes after a long name is never seen.
void SweepSubkeys(Machine& machine, const std::string& sweptKeyPath, const std::string& suffix,
                  const std::string& valueName, const std::string& matchText) {
    Key* sweptKey = FindKey(machine.localMachine, sweptKeyPath);
    if (!sweptKey || Refused(machine, "RegOpenKeyExA", sweptKeyPath)) return;
    if (Refused(machine, "RegEnumKeyExA", "HKLM\\" + sweptKeyPath)) return;
    std::vector<Key>& subkeys = sweptKey->subkeys;
    for (size_t i = 0; i < subkeys.size() && subkeys[i].name.size() <= kLongestName;) {
        if (SubkeyMatches(machine, *sweptKey, subkeys[i], suffix, valueName, matchText) &&
            CanDeleteKey(machine, subkeys[i]))
            subkeys.erase(subkeys.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
}

// In every subkey that opens, every value named like a problem record goes, unless its delete is
// refused; a name too long to enumerate ends the work at its level.
void PurgeProblemRecords(Machine& machine) {
    Key* problemKey = FindKey(machine.localMachine, kProblemKeyPath);
    if (!problemKey || Refused(machine, "RegOpenKeyExA", kProblemKeyPath)) return;
    std::string problemKeyHandlePath = std::string("HKLM\\") + kProblemKeyPath;
    if (Refused(machine, "RegEnumKeyExA", problemKeyHandlePath)) return;
    for (Key& subkey : problemKey->subkeys) {
        if (subkey.name.size() > kLongestName) break;
        if (Refused(machine, "RegOpenKeyExA", subkey.name)) continue;
        if (Refused(machine, "RegEnumValueA", problemKeyHandlePath + "\\" + subkey.name)) continue;
        std::vector<Value>& values = subkey.values;
        for (size_t i = 0; i < values.size() && values[i].name.size() <= kLongestName;) {
            if (IsProblemRecord(values[i].name) && !Refused(machine, "RegDeleteValueA", values[i].name))
                values.erase(values.begin() + static_cast<std::ptrdiff_t>(i));
            else
                ++i;
        }
    }
}

std::optional<InfCall> SetupInfCall(const std::string& modulePath, unsigned codePage) {
    // GetModuleFileNameA gives 0 for nothing and the full 260 for a path it had to cut.
    if (modulePath.empty() || modulePath.size() + 1 > kPathBufferSize) return std::nullopt;

    std::string drive = modulePath.size() >= 2 && modulePath[1] == ':' ? modulePath.substr(0, 2) : "";
    std::string rest = modulePath.substr(drive.size());
    size_t directoryLength = 0;  // up to and including the last separator
    for (size_t i = 0; i < rest.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(rest[i]);
        if (IsLeadByte(codePage, byte)) {
            ++i;  // the trail byte goes with it; neither separates
        } else if (byte == '\\' || byte == '/') {
            directoryLength = i + 1;
        }
    }
    if (directoryLength > kLongestDirectoryPart) return std::nullopt;

    std::string packageDirectory = drive + rest.substr(0, directoryLength);
    if (!packageDirectory.empty() && packageDirectory.back() == '\\') packageDirectory.pop_back();
    std::string infPath = packageDirectory + "\\zunmouse.inf";
    if (infPath.size() + 1 > kPathBufferSize) return std::nullopt;
    return InfCall{infPath, packageDirectory};
}

void SweepRootMouseDevices(Machine& machine) { SweepSubkeys(machine, "Enum\\Root", "\\0000", "Class", "Mouse"); }

void SweepMouseClassKeys(Machine& machine) {
    SweepSubkeys(machine, "System\\CurrentControlSet\\Services\\class\\mouse", "", "MouseDriver", "zunmouse.vxd");
}

}  // namespace model
