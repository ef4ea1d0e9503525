// The real pinentry-tty, on a pseudo-terminal the test types into.
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include "PinVeilFixture.h"

namespace {

constexpr const char* kPinentryTty = "/usr/bin/pinentry-tty";

// Reads the terminal's output until it holds strWanted. The wait is only a
// guard against a hung prompt, not a measure of anything.
bool ReadUntil(int fdMaster, const std::string& strWanted, std::string& strSeen)
{
    while (strSeen.find(strWanted) == std::string::npos) {
        struct pollfd stPoll = {fdMaster, POLLIN, 0};
        if (poll(&stPoll, 1, 60 * 1000) <= 0) {
            return false;
        }
        char achBuffer[512];
        ssize_t nRead = read(fdMaster, achBuffer, sizeof(achBuffer));
        if (nRead <= 0) {
            return false;
        }
        strSeen.append(achBuffer, static_cast<size_t>(nRead));
    }
    return true;
}

using PinentryTtyTest = PinVeilFixture;

TEST_F(PinentryTtyTest, TypedPinComesBack)
{
    if (access(kPinentryTty, X_OK) != 0) {
        GTEST_SKIP() << kPinentryTty << " is not installed (scripts/install-deps)";
    }
    int fdMaster = -1;
    int fdSlave = -1;
    ASSERT_EQ(openpty(&fdMaster, &fdSlave, nullptr, nullptr, nullptr), 0);
    setenv("GPG_TTY", ttyname(fdSlave), 1);
    setenv("TERM", "dumb", 1);
    setenv("PINVEIL_PINENTRY", kPinentryTty, 1);

    int nResult = 1;
    char* pszPIN = nullptr;
    std::thread asker([&] { nResult = GetUserPIN(1, 4, 6, 16, &pszPIN); });

    std::string strSeen;
    bool bPrompted = ReadUntil(fdMaster, getLocalizedString("PINPrompt"), strSeen);
    if (bPrompted) {
        const char szTyped[] = "2468ab%c\n";
        EXPECT_EQ(write(fdMaster, szTyped, sizeof(szTyped) - 1),
                  static_cast<ssize_t>(sizeof(szTyped) - 1));
    } else {
        ADD_FAILURE() << "no prompt; the terminal showed: " << strSeen;
        // Hanging up the terminal ends the prompt.
        close(fdSlave);
        fdSlave = -1;
        close(fdMaster);
        fdMaster = -1;
    }
    asker.join();

    // The dialog's texts reached the terminal.
    EXPECT_NE(strSeen.find(getLocalizedString("RetryPIN")), std::string::npos) << strSeen;
    EXPECT_NE(strSeen.find(getLocalizedString("LeftTimes") + std::string("4")), std::string::npos)
        << strSeen;
    ASSERT_EQ(nResult, 0);
    ASSERT_NE(pszPIN, nullptr);
    EXPECT_STREQ(pszPIN, "2468ab%c");
    explicit_bzero(pszPIN, std::strlen(pszPIN));
    std::free(pszPIN);
    if (fdSlave >= 0) {
        close(fdSlave);
    }
    if (fdMaster >= 0) {
        close(fdMaster);
    }
}

}  // namespace
