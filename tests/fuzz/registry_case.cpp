// Decoding of the registry fuzz input; the layout is described in registry_case.h.
#include "registry_case.h"

#include "byte_reader.h"

#include <string>

namespace {

const size_t kMaxOps = 256;
const size_t kLongestText = 300;

const char* const kAreas[] = {
    "Enum\\Root",
    "System\\CurrentControlSet\\Services\\class\\mouse",
    "System\\CurrentControlSet\\Control\\ASD\\Prob",
    "Software\\Zunmek",
};

const std::vector<std::string> kKeyWords = {"0000", "0001", "*PNP0F0C", "ZMK8001", "Mouse", "Class"};
const std::vector<std::string> kValueWords = {
    "Class", "MouseDriver", "SERENUM\\ZMK8001", "ROOT\\ZMK8001", "SERENUM\\ZMK800", "ROOT\\ZMK800",
    "serenum\\ZMK8001", "ROOT\\zmk8001", "SERENUM\\ZMK8001\\0000", " ROOT\\ZMK8001", "ACPI\\SERENUM\\ZMK8001", ""};
const std::vector<std::string> kDataWords = {
    "Mouse", "zunmouse.vxd", "Mous", "Mouse ", "zunmouse.vxd ", "C:\\WINDOWS\\SYSTEM\\zunmouse.vxd", "Keyboard", ""};
const uint32_t kErrorCodes[] = {5, 2, 6, 87, 234, 259, 1018};  // all failures: none is ERROR_SUCCESS
const char* const kFunctionsNamingKeys[] = {"RegEnumKeyExA", "RegEnumValueA"};

// Flips the case of the ASCII letters whose position has its bit set in `mask` (bit i % 8).
std::string MangleCase(std::string text, uint8_t mask) {
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (letter && (mask >> (i % 8)) & 1) text[i] = static_cast<char>(c ^ 0x20);
    }
    return text;
}

// A name: a dictionary word, raw bytes, a word and a raw tail, or a long run that starts with a word.
std::string Name(ByteReader& in, const std::vector<std::string>& words) {
    std::string name;
    switch (in.Choice(4)) {
    case 0: name = words[in.Choice(words.size())]; break;
    case 1: name = in.Bytes(in.Byte()); break;
    case 2: name = words[in.Choice(words.size())]; name += in.Bytes(in.Choice(16)); break;
    default: {
        size_t length = 240 + in.Choice(61);
        name = words[in.Choice(words.size())];
        char fill = static_cast<char>(in.Byte());
        if (name.size() < length) name.append(length - name.size(), fill);
        break;
    }
    }
    for (char& c : name)
        if (c == '\0') c = '\x01';  // registry names hold no NUL
    if (name.size() > kLongestText) name.resize(kLongestText);
    return name;
}

std::string KeyName(ByteReader& in) {
    std::string name = Name(in, kKeyWords);
    for (char& c : name)
        if (c == '\\') c = '_';  // a key name cannot hold a backslash
    return name.empty() ? "_" : name;
}

// Value data: a word with its NUL, without it, with bytes after the NUL, raw bytes, or a long
// string (the word, its NUL and filler: more than the 256 bytes a query may return).
std::vector<uint8_t> Data(ByteReader& in) {
    std::string data;
    size_t form = in.Choice(5);
    if (form == 3) {
        data = in.Bytes(in.Byte());
    } else {
        data = kDataWords[in.Choice(kDataWords.size())];
        data = MangleCase(data, in.Byte());
        if (form != 1) data += '\0';
        if (form == 2) data += in.Bytes(in.Choice(8));
        if (form == 4) {
            size_t length = 250 + in.Choice(51);
            char fill = static_cast<char>(in.Byte());
            if (data.size() < length) data.append(length - data.size(), fill);
        }
    }
    if (data.size() > kLongestText) data.resize(kLongestText);
    return std::vector<uint8_t>(data.begin(), data.end());
}

std::string LastComponent(const std::string& path) {
    size_t cut = path.rfind('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Creates every missing key along `path`.
void AddKeyPath(model::Key& root, const std::string& path) {
    model::Key* key = &root;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        model::Key* child = nullptr;
        for (model::Key& subkey : key->subkeys)
            if (!child && model::EqualIgnoringAsciiCase(subkey.name, part)) child = &subkey;
        if (!child) {
            key->subkeys.push_back(model::Key{part, {}, {}});
            child = &key->subkeys.back();
        }
        key = child;
        start = end + 1;
    }
}

class Decoder {
public:
    Decoder(const uint8_t* data, size_t size) : in_(data, size) {}

    RegistryCase Decode() {
        uint8_t header = in_.Byte();
        case_.machine.ntDeleteMode = header & 1;
        for (size_t area = 0; area < sizeof kAreas / sizeof kAreas[0]; ++area) {
            if (header & (2 << area)) continue;
            AddKeyPath(case_.machine.localMachine, kAreas[area]);
            keys_.push_back(kAreas[area]);
        }
        for (size_t op = 0; op < kMaxOps && !in_.Empty(); ++op) {
            switch (in_.Choice(8)) {
            case 0: case 1: case 2: AddSubkey(); break;
            case 3: case 4: AddValue(); break;
            case 5: RefuseKeyCall(); break;
            case 6: RefuseValueCall(); break;
            default: RefuseEnumeration(); break;
            }
        }
        return case_;
    }

private:
    // A key made so far, by its path below HKEY_LOCAL_MACHINE.
    const std::string* PickKey() { return keys_.empty() ? nullptr : &keys_[in_.Choice(keys_.size())]; }

    void AddSubkey() {
        const std::string* parent = PickKey();
        std::string name = KeyName(in_);
        if (!parent) return;
        model::Key* key = model::FindKey(case_.machine.localMachine, *parent);
        for (const model::Key& subkey : key->subkeys)
            if (model::EqualIgnoringAsciiCase(subkey.name, name)) return;  // one key per name
        key->subkeys.push_back(model::Key{name, {}, {}});
        keys_.push_back(*parent + "\\" + name);
    }

    void AddValue() {
        const std::string* path = PickKey();
        model::Value value;
        value.name = Name(in_, kValueWords);
        value.type = in_.Choice(8);
        value.data = Data(in_);
        if (!path) return;
        model::Key* key = model::FindKey(case_.machine.localMachine, *path);
        for (const model::Value& existing : key->values)
            if (model::EqualIgnoringAsciiCase(existing.name, value.name)) return;  // one value per name
        key->values.push_back(value);
        valueNames_.push_back(value.name);
    }

    void Refuse(const std::string& function, const std::string& argument) {
        case_.machine.refusals.push_back(model::Refusal{function, argument});
        case_.refusalCodes.push_back(kErrorCodes[in_.Choice(sizeof kErrorCodes / sizeof kErrorCodes[0])]);
    }

    // A key that will not open (by its name, its name with "\0000", or its whole path) or not go.
    void RefuseKeyCall() {
        size_t form = in_.Choice(4);
        const std::string* path = PickKey();
        if (!path) return;
        switch (form) {
        case 0: Refuse("RegOpenKeyExA", LastComponent(*path)); break;
        case 1: Refuse("RegOpenKeyExA", LastComponent(*path) + "\\0000"); break;
        case 2: Refuse("RegOpenKeyExA", *path); break;
        default: Refuse("RegDeleteKeyA", LastComponent(*path)); break;
        }
    }

    // A value that will not go, or a value name whose query fails.
    void RefuseValueCall() {
        size_t form = in_.Choice(4);
        size_t pick = in_.Byte();
        if (form == 0) Refuse("RegQueryValueExA", pick & 1 ? "Class" : "MouseDriver");
        if (valueNames_.empty()) return;
        const std::string& name = valueNames_[pick % valueNames_.size()];
        if (form == 1) Refuse("RegQueryValueExA", name);
        if (form >= 2) Refuse("RegDeleteValueA", name);
    }

    void RefuseEnumeration() {
        const char* function = kFunctionsNamingKeys[in_.Choice(2)];
        const std::string* path = PickKey();
        if (path) Refuse(function, "HKLM\\" + *path);
    }

    ByteReader in_;
    RegistryCase case_;
    std::vector<std::string> keys_;
    std::vector<std::string> valueNames_;
};

}  // namespace

RegistryCase DecodeRegistryCase(const uint8_t* data, size_t size) { return Decoder(data, size).Decode(); }
