// Mismatch reports of the fuzz targets.
#include "fuzz_report.h"

#include <cstdio>
#include <cstdlib>

std::string Printable(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        size_t run = 1;
        while (i + run < bytes.size() && bytes[i + run] == bytes[i]) ++run;
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        char text[8];
        if (c >= 0x20 && c < 0x7F && c != '<')
            std::snprintf(text, sizeof text, "%c", c);
        else
            std::snprintf(text, sizeof text, "<%02X>", c);
        if (run >= 8) {
            out += std::string(text) + "{" + std::to_string(run) + "}";
            i += run;
        } else {
            out += text;
            ++i;
        }
    }
    return out;
}

void ReportMismatch(const std::string& what, const std::vector<std::string>& expected,
                    const std::vector<std::string>& actual) {
    size_t first = 0;
    while (first < expected.size() && first < actual.size() && expected[first] == actual[first]) ++first;
    size_t from = first > 3 ? first - 3 : 0;
    std::fprintf(stderr, "MISMATCH with the reference model: %s (first difference at line %zu)\n", what.c_str(),
                 first + 1);
    std::fprintf(stderr, "--- expected (model)\n");
    for (size_t i = from; i < expected.size() && i < first + 8; ++i) std::fprintf(stderr, "  %s\n", expected[i].c_str());
    std::fprintf(stderr, "--- actual (programs)\n");
    for (size_t i = from; i < actual.size() && i < first + 8; ++i) std::fprintf(stderr, "  %s\n", actual[i].c_str());
    std::abort();
}
