// Test fixture and helpers shared by the unit tests: a fresh hostwin machine per test, and the
// check that every test leaves no registry key, INF or queue context open.
#ifndef ZUN_HOSTWIN_TEST_H
#define ZUN_HOSTWIN_TEST_H

#include <gtest/gtest.h>
#include <hostwin/control.h>

#include <string>
#include <vector>

class HostwinTest : public ::testing::Test {
protected:
    void SetUp() override { hostwin::Reset(); }
    void TearDown() override { EXPECT_EQ(hostwin::OpenHandles(), std::vector<std::string>{}) << "handles left open"; }
};

// The bytes of a string stored with its NUL, as Windows stores REG_SZ data.
std::vector<uint8_t> StringBytes(const std::string& text);

// The call log as one string, a line per call, for readable failure messages.
std::string JoinLines(const std::vector<std::string>& lines);

#endif
