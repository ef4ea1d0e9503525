// Loads the built libpinveil.so and points it at the scripted stand-in
// pinentry (tests/pinprompt/fake-pinentry), whose log of received lines the
// tests read back.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempHome.h"

using GetUserPINFunc = int (*)(int, int, int, int, char**);
using GetLocalizedStringFunc = const char* (*)(const char*);

class PinVeilFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Replies for GETPIN and MESSAGE, '|'-separated (see fake-pinentry);
    // also empties the log.
    void Script(const std::string& strReplies, const std::string& strStart = "");
    // Calls GetUserPIN and checks that no child process is left behind.
    int Ask(int nInitState, int nLeftTimes, char** ppszPIN, int nMin = 6, int nMax = 16);

    // Every line the stand-in received, as sent.
    std::vector<std::string> Lines() const;
    // The unescaped arguments of each received pszCommand line, in order.
    std::vector<std::string> Arguments(const char* pszCommand) const;
    size_t Count(const char* pszCommand) const { return Arguments(pszCommand).size(); }

    GetUserPINFunc GetUserPIN = nullptr;
    GetLocalizedStringFunc getLocalizedString = nullptr;
    std::string m_strLog;
    TempHome m_home;

private:
    void* m_hLibrary = nullptr;
};

std::string PercentDecoded(const std::string& strText);
bool IsAscii(const std::string& strText);
