// hostwin: machine state, call log and fault injection.
#include "state.h"

#include <cstdio>

namespace hostwin::detail {

Machine& M() {
    static Machine machine;
    return machine;
}

void Log(const std::string& line) { M().log.push_back(line); }

std::string Lower(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
    return out;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

uint32_t InjectedFault(const char* function, const std::string& argument) {
    for (FaultRule& rule : M().faults) {
        if (rule.function != function) continue;
        if (!rule.argument.empty() && !EqualNoCase(rule.argument, argument)) continue;
        ++rule.seen;
        if (rule.nth == 0 || rule.nth == rule.seen) return rule.code;
    }
    return 0;
}

std::string Quote(const char* text) {
    if (text == nullptr) return "NULL";
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '"') {
            out += "\\\"";
        } else if (*p < 0x20 || *p >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", *p);
            out += buf;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out + "\"";
}

std::string Hex(uint64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(value));
    return buf;
}

}  // namespace hostwin::detail

namespace hostwin {
using namespace detail;

void Reset() { M() = Machine(); }

const std::vector<std::string>& CallLog() { return M().log; }

std::vector<std::string> CallLogOf(const std::vector<std::string>& functions) {
    std::vector<std::string> out;
    for (const std::string& line : M().log)
        for (const std::string& f : functions)
            if (line.compare(0, f.size() + 1, f + "(") == 0) out.push_back(line);
    return out;
}

void ClearCallLog() { M().log.clear(); }

std::string LoggedString(const std::string& text) { return Quote(text.c_str()); }

void FailCall(const std::string& function, const std::string& argument, uint32_t code, int nth) {
    M().faults.push_back(FaultRule{function, argument, code, nth});
}

}  // namespace hostwin

extern "C" {
DWORD WINAPI GetLastError(void) { return hostwin::detail::M().lastError; }
VOID WINAPI SetLastError(DWORD code) { hostwin::detail::M().lastError = code; }
}
