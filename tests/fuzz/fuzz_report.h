// What a fuzz target does when the programs and the reference model disagree: print both sides
// in readable form and abort, so that libFuzzer keeps the input and the replay test fails.
#ifndef ZUN_FUZZ_REPORT_H
#define ZUN_FUZZ_REPORT_H

#include <string>
#include <vector>

// Bytes as text: printable ASCII as it stands, every other byte as <NN> in hex, runs of one byte shortened.
std::string Printable(const std::string& bytes);

// Aborts with `what` and the two listings, from a little before their first difference.
[[noreturn]] void ReportMismatch(const std::string& what, const std::vector<std::string>& expected,
                                 const std::vector<std::string>& actual);

#endif
