// Fuzz target: random module paths under code pages 1252 and 932 through setup's WinMain; the INF
// path and source root that reach SetupAPI (or the absence of any SetupAPI call) are compared with
// the reference model, and nothing may be left open.
//
// Input layout: byte 0 bit 0 picks code page 932 (else 1252); bytes 1-3 are a padding length, the
// padding byte and where the padding goes; the rest is the path, each 0 byte read as a backslash.
// The path is cut to 300 bytes.
#include "byte_reader.h"
#include "fuzz_report.h"
#include "reference_model.h"

#include "zunmek.h"

#include <hostwin/control.h>

#include <cstdio>
#include <cstdlib>

namespace {

const size_t kLongestPath = 300;

std::string DecodeModulePath(ByteReader& in) {
    size_t padLength = in.Byte();
    char padByte = static_cast<char>(in.Byte());
    size_t padAt = in.Byte();
    std::string path;
    while (!in.Empty()) {
        char c = static_cast<char>(in.Byte());
        path += c == '\0' ? '\\' : c;
    }
    if (padByte == '\0') padByte = '\\';
    path.insert(std::min(padAt, path.size()), std::string(padLength, padByte));
    if (path.size() > kLongestPath) path.resize(kLongestPath);
    return path;
}

std::vector<std::string> Describe(const std::optional<model::InfCall>& call) {
    if (!call) return {"no SetupAPI call"};
    return {"INF path " + Printable(call->infPath), "source root " + Printable(call->sourceRoot)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    UINT codePage = (in.Byte() & 1) ? 932 : 1252;
    std::string modulePath = DecodeModulePath(in);
    std::optional<model::InfCall> expected = model::SetupInfCall(modulePath, codePage);
    if (std::getenv("ZUN_FUZZ_VERBOSE"))  // what the input decoded to
        std::fprintf(stderr, "code page %u, module path (%zu bytes) %s\n", codePage, modulePath.size(),
                     Printable(modulePath).c_str());

    hostwin::Reset();
    hostwin::SetCodePage(codePage);
    g_ansiCodePage = codePage;  // WinMain runs here without the start-up code that sets it
    hostwin::SetModulePath(modulePath);
    if (expected) hostwin::AddInf(expected->infPath, {"Setup", "SetupCleanup"});
    char commandLine[] = "";
    int exitCode = WinMain(hostwin::ProgramInstance(), NULL, commandLine, SW_SHOWDEFAULT);

    std::string what = "for module path " + Printable(modulePath) + " under code page " + std::to_string(codePage);
    std::optional<model::InfCall> actual;
    size_t opens = hostwin::CallLogOf({"SetupOpenInfFileA"}).size();
    const std::vector<hostwin::SectionRun>& runs = hostwin::SectionRuns();
    if (opens == 1 && runs.size() == 2 && runs[0].infPath == runs[1].infPath && runs[0].sourceRoot &&
        runs[0].sourceRoot == runs[1].sourceRoot && runs[0].section == "Setup" && runs[1].section == "SetupCleanup")
        actual = model::InfCall{runs[0].infPath, *runs[0].sourceRoot};
    if (opens > 0 && !actual) {
        ReportMismatch("SetupAPI calls " + what, Describe(expected), hostwin::CallLogOf({"SetupOpenInfFileA", "SetupInstallFromInfSectionA"}));
    }
    if (Describe(expected) != Describe(actual)) ReportMismatch("SetupAPI call " + what, Describe(expected), Describe(actual));
    if (exitCode != 0) ReportMismatch("exit code " + what, {"0"}, {std::to_string(exitCode)});
    if (!hostwin::OpenHandles().empty()) ReportMismatch("handles left open " + what, {}, hostwin::OpenHandles());
    return 0;
}
