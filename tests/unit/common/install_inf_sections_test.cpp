#include "hostwin_test.h"
#include "zunmek.h"

namespace {

const char kInf[] = "C:\\Drivers\\Mouse\\zunmouse.inf";
const UINT kInstallFlags = 0x1F;
const InfSection kSetupSections[] = {{"Setup", kInstallFlags, 0x404}, {"SetupCleanup", kInstallFlags, 0x400}};
const InfSection kUninstallSection[] = {{"Uninstall", kInstallFlags, 0}};

const std::vector<std::string> kSetupApi = {"SetupOpenInfFileA", "SetupInitDefaultQueueCallback",
                                            "SetupInstallFromInfSectionA", "SetupTermDefaultQueueCallback",
                                            "SetupCloseInfFile"};

class InstallInfSectionsTest : public HostwinTest {};

TEST_F(InstallInfSectionsTest, RunsBothSectionsInOrderOnOneHandleAndOneContext) {
    hostwin::AddInf(kInf, {"Setup", "SetupCleanup"});
    InstallInfSections(kInf, "C:\\Drivers\\Mouse", kSetupSections, 2);

    EXPECT_EQ(JoinLines(hostwin::CallLog()),
              JoinLines({
                  "SetupOpenInfFileA(\"C:\\Drivers\\Mouse\\zunmouse.inf\", NULL, 0x2, NULL) = inf#1",
                  "SetupInitDefaultQueueCallback(NULL) = ctx#2",
                  "SetupInstallFromInfSectionA(NULL, inf#1, \"Setup\", 0x1F, NULL, \"C:\\Drivers\\Mouse\", 0x404, "
                  "handler, ctx#2, NULL, NULL) = 1",
                  "SetupInstallFromInfSectionA(NULL, inf#1, \"SetupCleanup\", 0x1F, NULL, \"C:\\Drivers\\Mouse\", "
                  "0x400, handler, ctx#2, NULL, NULL) = 1",
                  "SetupTermDefaultQueueCallback(ctx#2)",
                  "SetupCloseInfFile(inf#1)",
              }));
    for (const hostwin::SectionRun& run : hostwin::SectionRuns())
        EXPECT_EQ(run.handler, &QueueCallback) << run.section;
}

TEST_F(InstallInfSectionsTest, MissingInfIsOnlyOpened) {
    InstallInfSections(kInf, "C:\\Drivers\\Mouse", kSetupSections, 2);
    EXPECT_EQ(hostwin::CallLog(),
              std::vector<std::string>{
                  "SetupOpenInfFileA(\"C:\\Drivers\\Mouse\\zunmouse.inf\", NULL, 0x2, NULL) = INVALID_HANDLE_VALUE"});
}

TEST_F(InstallInfSectionsTest, FailedSectionsDoNotStopTheNextOrTheCleanUp) {
    struct Case {
        const char* name;
        std::vector<std::string> sectionsInInf;
        std::vector<std::string> failingSections;
    };
    const Case cases[] = {
        {"no Setup section", {"SetupCleanup"}, {}},
        {"both sections fail", {"Setup", "SetupCleanup"}, {"Setup", "SetupCleanup"}},
        {"neither section in the INF", {"Other"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::Reset();
        hostwin::AddInf(kInf, c.sectionsInInf);
        for (const std::string& section : c.failingSections)
            hostwin::FailCall("SetupInstallFromInfSectionA", section, ERROR_ACCESS_DENIED);
        InstallInfSections(kInf, "C:\\Drivers\\Mouse", kSetupSections, 2);

        std::vector<std::string> calls = hostwin::CallLogOf(kSetupApi);
        ASSERT_EQ(calls.size(), 6u) << JoinLines(calls);
        EXPECT_NE(calls[2].find("\"Setup\""), std::string::npos);
        EXPECT_NE(calls[3].find("\"SetupCleanup\""), std::string::npos);
        EXPECT_EQ(calls[4], "SetupTermDefaultQueueCallback(ctx#2)");
        EXPECT_EQ(calls[5], "SetupCloseInfFile(inf#1)");
        EXPECT_TRUE(hostwin::OpenHandles().empty());
    }
}

TEST_F(InstallInfSectionsTest, UninstallRunHasNoSourceRootAndCopyFlagsZero) {
    const char installed[] = "C:\\WINDOWS\\inf\\other\\zunmekzunmouse.inf";
    hostwin::AddInf(installed, {"Uninstall"});
    InstallInfSections(installed, NULL, kUninstallSection, 1);

    ASSERT_EQ(hostwin::SectionRuns().size(), 1u);
    const hostwin::SectionRun& run = hostwin::SectionRuns()[0];
    EXPECT_EQ(run.infPath, installed);
    EXPECT_EQ(run.section, "Uninstall");
    EXPECT_EQ(run.flags, 0x1Fu);
    EXPECT_EQ(run.sourceRoot, std::nullopt);
    EXPECT_EQ(run.copyFlags, 0u);
    EXPECT_EQ(run.owner, nullptr);
    EXPECT_EQ(run.relativeKeyRoot, nullptr);
    EXPECT_EQ(run.deviceInfoSet, nullptr);
    EXPECT_EQ(run.deviceInfoData, nullptr);
    EXPECT_NE(run.context, nullptr);
}

TEST_F(InstallInfSectionsTest, SourceRootReachesSetupApiUnchanged) {
    const char* roots[] = {"A:", "C:\\Drivers\\Mouse", "\\\\server\\share\\drivers", "C:/Drivers/Mouse/"};
    for (const char* root : roots) {
        hostwin::Reset();
        hostwin::AddInf(kInf, {"Setup", "SetupCleanup"});
        InstallInfSections(kInf, root, kSetupSections, 2);
        ASSERT_EQ(hostwin::SectionRuns().size(), 2u);
        for (const hostwin::SectionRun& run : hostwin::SectionRuns()) EXPECT_EQ(run.sourceRoot, std::string(root));
    }
}

TEST_F(InstallInfSectionsTest, WithoutQueueContextRunsNoSectionButClosesTheInf) {
    hostwin::AddInf(kInf, {"Setup", "SetupCleanup"});
    hostwin::FailCall("SetupInitDefaultQueueCallback", "", ERROR_INSUFFICIENT_BUFFER);
    InstallInfSections(kInf, "C:\\Drivers\\Mouse", kSetupSections, 2);
    EXPECT_EQ(hostwin::CallLog(), (std::vector<std::string>{
                                      "SetupOpenInfFileA(\"C:\\Drivers\\Mouse\\zunmouse.inf\", NULL, 0x2, NULL) = inf#1",
                                      "SetupInitDefaultQueueCallback(NULL) = NULL",
                                      "SetupCloseInfFile(inf#1)",
                                  }));
}

TEST_F(InstallInfSectionsTest, QueueCallbackPassesEveryNotificationToTheDefaultCallback) {
    // Parameters beyond 32 bits and swapped values catch a callback that narrows or reorders them.
    const UINT_PTR wide = static_cast<UINT_PTR>(0x123456789ABCDEF0ull);
    const std::vector<hostwin::Notification> notifications = {
        {0x00000001, 0, 0},          // SPFILENOTIFY_STARTQUEUE
        {0x00000401, wide, 7},       // SPFILENOTIFY_STARTCOPY
        {0x00000401, 7, wide},
        {0x00000004, 0xFFFFFFFF, 1}, // SPFILENOTIFY_NEEDMEDIA
        {0xFFFFFFFF, 1, 0},
    };
    hostwin::AddInf(kInf, {"Uninstall"}, notifications);
    InstallInfSections(kInf, NULL, kUninstallSection, 1);

    ASSERT_EQ(hostwin::SectionRuns().size(), 1u);
    const hostwin::SectionRun& run = hostwin::SectionRuns()[0];
    ASSERT_EQ(run.handlerResults.size(), notifications.size());
    for (size_t i = 0; i < notifications.size(); ++i) {
        const hostwin::Notification& n = notifications[i];
        EXPECT_EQ(run.handlerResults[i], hostwin::DefaultCallbackAnswer(run.context, n.code, n.param1, n.param2))
            << "notification " << i;
    }
    EXPECT_EQ(hostwin::CallLogOf({"SetupDefaultQueueCallbackA"}).size(), notifications.size());
    EXPECT_NE(hostwin::DefaultCallbackAnswer(run.context, 0x401, wide, 7),
              hostwin::DefaultCallbackAnswer(run.context, 0x401, 7, wide));
}

TEST_F(InstallInfSectionsTest, QueueCallbackCalledDirectlyReturnsTheDefaultAnswer) {
    PVOID context = reinterpret_cast<PVOID>(static_cast<UINT_PTR>(0x7FFF12345678ull));
    EXPECT_EQ(QueueCallback(context, 0x402, 3, 4), hostwin::DefaultCallbackAnswer(context, 0x402, 3, 4));
    EXPECT_EQ(QueueCallback(nullptr, 0, 0, 0), hostwin::DefaultCallbackAnswer(nullptr, 0, 0, 0));
}

}  // namespace
