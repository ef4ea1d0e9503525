// GetUserPIN against the scripted stand-in pinentry: what the dialog shows,
// what it accepts, what it hands out, and that it never leaves a child.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PinVeilFixture.h"

namespace {

class GetUserPINTest : public PinVeilFixture {
protected:
    char m_szSentinel[8] = "unset";
    char* m_pszPIN = m_szSentinel;

    std::string Take()
    {
        std::string strPIN = m_pszPIN;
        explicit_bzero(m_pszPIN, strPIN.size());
        std::free(m_pszPIN);
        m_pszPIN = m_szSentinel;
        return strPIN;
    }
};

TEST_F(GetUserPINTest, HandsOutTheTypedPinOnOK)
{
    // '%' and ' ' travel escaped and must come back as typed.
    Script("pin:12%34 ab");
    ASSERT_EQ(Ask(0, 6, &m_pszPIN), 0);
    ASSERT_NE(m_pszPIN, m_szSentinel);
    EXPECT_EQ(Take(), "12%34 ab");

    std::vector<std::string> vtrLines = Lines();
    ASSERT_FALSE(vtrLines.empty());
    EXPECT_EQ(vtrLines.back(), "BYE");
    for (const char* pszCommand : {"SETTITLE", "SETDESC", "SETPROMPT", "SETOK", "SETCANCEL"}) {
        EXPECT_EQ(Count(pszCommand), 1u) << pszCommand;
    }
    EXPECT_EQ(Count("GETPIN"), 1u);
    EXPECT_EQ(Count("SETERROR"), 0u) << "a first prompt shows no error line";
    EXPECT_EQ(Arguments("SETOK"), std::vector<std::string>{getLocalizedString("OK")});
    EXPECT_EQ(Arguments("SETCANCEL"), std::vector<std::string>{getLocalizedString("Cancel")});
}

TEST_F(GetUserPINTest, CancelGivesMinusOneAndLeavesThePointerUntouched)
{
    for (int nInitState : {0, 1}) {
        Script("cancel");
        EXPECT_EQ(Ask(nInitState, 3, &m_pszPIN), -1);
        EXPECT_EQ(m_pszPIN, m_szSentinel);
        EXPECT_EQ(Count("GETPIN"), 1u);
    }
}

TEST_F(GetUserPINTest, WrongLengthShowsTheErrorAndAsksAgain)
{
    struct Case {
        const char* pszName;
        int nMin;
        int nMax;
        std::string strRejected;  // a reply for the first GETPIN
        std::string strAccepted;  // typed at the second
    };
    const std::vector<Case> vtrCases = {
        {"5 characters", 6, 16, "pin:12345", "654321"},
        {"17 characters", 6, 16, "pin:12345678901234567", "abcdefghijklmnop"},
        // Six characters, but 18 bytes: the token would refuse it.
        {"6 wide characters", 6, 16, "pin:密码密码密码", "ééé"},
        {"nothing typed", 6, 16, "pin:", "123456"},
        {"NUL inside", 6, 16, "raw:123%00456", "123456"},
        {"far beyond the buffer", 6, 16, "pin:" + std::string(300, 'x'), "123456"},
        {"above a smaller maximum", 4, 8, "pin:123456789", "1234"},
    };
    for (const Case& c : vtrCases) {
        SCOPED_TRACE(c.pszName);
        Script(c.strRejected + "|pin:" + c.strAccepted);
        ASSERT_EQ(Ask(0, 6, &m_pszPIN, c.nMin, c.nMax), 0);
        EXPECT_EQ(Take(), c.strAccepted);
        EXPECT_EQ(Count("GETPIN"), 2u);
        EXPECT_EQ(Arguments("SETERROR"),
                  std::vector<std::string>{getLocalizedString("PINLengthError")});
        // The error line is set between the two prompts.
        std::vector<std::string> vtrLines = Lines();
        size_t nGetPins = 0;
        for (const std::string& strLine : vtrLines) {
            if (strLine == "GETPIN") {
                ++nGetPins;
            } else if (strLine.rfind("SETERROR", 0) == 0) {
                EXPECT_EQ(nGetPins, 1u);
            }
        }
    }
}

TEST_F(GetUserPINTest, ShowsTriesLeftAndTheRetryLine)
{
    struct Case {
        int nInitState;
        int nLeftTimes;
    };
    for (const Case& c : {Case{0, 6}, Case{1, 5}, Case{1, 1}, Case{3, 2}}) {
        SCOPED_TRACE("init state " + std::to_string(c.nInitState) + ", left " +
                     std::to_string(c.nLeftTimes));
        Script("cancel");
        EXPECT_EQ(Ask(c.nInitState, c.nLeftTimes, &m_pszPIN), -1);

        std::vector<std::string> vtrDescriptions = Arguments("SETDESC");
        ASSERT_EQ(vtrDescriptions.size(), 1u);
        std::string strLeftLine = getLocalizedString("LeftTimes") + std::to_string(c.nLeftTimes);
        const std::string& strDescription = vtrDescriptions[0];
        ASSERT_GE(strDescription.size(), strLeftLine.size());
        EXPECT_EQ(strDescription.substr(strDescription.size() - strLeftLine.size()), strLeftLine);

        std::vector<std::string> vtrExpectedErrors;
        if (c.nInitState == 1) {
            vtrExpectedErrors.push_back(getLocalizedString("RetryPIN"));
        }
        EXPECT_EQ(Arguments("SETERROR"), vtrExpectedErrors);
    }
}

TEST_F(GetUserPINTest, LockedOrDefaultPinShowAnAlertAndNoDialog)
{
    struct Case {
        int nInitState;
        int nLeftTimes;
        int nResult;
        const char* pszKey;
    };
    const Case aCases[] = {
        {0, 0, -2, "PINLocked"},
        {1, -3, -2, "PINLocked"},
        {2, 0, -2, "PINLocked"},  // the lock is checked first
        {2, 4, -3, "DefaultPinNotSign"},
    };
    for (const Case& c : aCases) {
        SCOPED_TRACE(c.pszKey + std::string(", left ") + std::to_string(c.nLeftTimes));
        Script("");
        EXPECT_EQ(Ask(c.nInitState, c.nLeftTimes, &m_pszPIN), c.nResult);
        EXPECT_EQ(m_pszPIN, m_szSentinel);
        EXPECT_EQ(Count("GETPIN"), 0u);
        EXPECT_EQ(Count("MESSAGE"), 1u);
        EXPECT_EQ(Arguments("SETTITLE"), std::vector<std::string>{getLocalizedString("Error")});
        EXPECT_EQ(Arguments("SETDESC"), std::vector<std::string>{getLocalizedString(c.pszKey)});
    }
}

TEST_F(GetUserPINTest, BrokenPinentryCountsAsCancelAndLeavesNoChild)
{
    struct Case {
        const char* pszName;
        const char* pszProgram;  // PINVEIL_PINENTRY; nullptr unsets it
        bool bEmptyPath;
        const char* pszStart;
        const char* pszReplies;
    };
    const std::string strFake = getenv("PINVEIL_PINENTRY");
    const std::string strPath = getenv("PATH") ? getenv("PATH") : "";
    const Case aCases[] = {
        {"missing program", "/nonexistent/pinentry", false, "", ""},
        {"no pinentry on PATH", nullptr, true, "", ""},
        {"dies before the greeting", strFake.c_str(), false, "crash", ""},
        {"greets with nonsense", strFake.c_str(), false, "garbage", ""},
        {"ignores the hang-up and SIGTERM", strFake.c_str(), false, "stubborn", ""},
        {"dies at GETPIN", strFake.c_str(), false, "", "crash"},
        {"answers GETPIN with nonsense", strFake.c_str(), false, "", "garbage"},
        {"dies at the second GETPIN", strFake.c_str(), false, "", "pin:12|crash"},
    };
    for (const Case& c : aCases) {
        SCOPED_TRACE(c.pszName);
        if (c.pszProgram != nullptr) {
            setenv("PINVEIL_PINENTRY", c.pszProgram, 1);
        } else {
            unsetenv("PINVEIL_PINENTRY");
        }
        setenv("PATH", c.bEmptyPath ? m_home.Path().c_str() : strPath.c_str(), 1);
        Script(c.pszReplies, c.pszStart);
        EXPECT_EQ(Ask(0, 6, &m_pszPIN), -1);
        EXPECT_EQ(m_pszPIN, m_szSentinel);
    }

    // The alerts answer for the token's state even when nothing can show them.
    setenv("PINVEIL_PINENTRY", "/nonexistent/pinentry", 1);
    EXPECT_EQ(Ask(0, 0, &m_pszPIN), -2);
    EXPECT_EQ(Ask(2, 3, &m_pszPIN), -3);
    EXPECT_EQ(m_pszPIN, m_szSentinel);
}

TEST_F(GetUserPINTest, PassesTerminalAndDisplay)
{
    setenv("GPG_TTY", "/dev/pts/77", 1);
    setenv("TERM", "xterm-256color", 1);
    setenv("DISPLAY", ":5", 1);
    Script("cancel");
    EXPECT_EQ(Ask(0, 6, &m_pszPIN), -1);
    EXPECT_EQ(Arguments("OPTION"),
              (std::vector<std::string>{"ttyname=/dev/pts/77", "ttytype=xterm-256color",
                                        "display=:5"}));
}

TEST_F(GetUserPINTest, ChineseLocalesGetTheChineseTexts)
{
    struct Case {
        const char* pszLcAll;
        const char* pszLcMessages;
        const char* pszLang;
        bool bChinese;
    };
    const Case aCases[] = {
        {nullptr, nullptr, "zh_CN.UTF-8", true},
        {"zh_Hans_CN", nullptr, "en_US.UTF-8", true},
        {nullptr, nullptr, "zh", true},
        {nullptr, nullptr, "zh_Hans@stroke", true},
        {"", "zh_CN.GB18030", "en_US.UTF-8", true},  // empty means unset
        {nullptr, nullptr, "zh_TW.UTF-8", false},
        {nullptr, nullptr, "zh_HK", false},
        {nullptr, nullptr, "zh_Hant", false},
        {"en_US.UTF-8", nullptr, "zh_CN.UTF-8", false},  // LC_ALL comes first
        {nullptr, "en_GB", "zh_CN.UTF-8", false},        // then LC_MESSAGES
        {nullptr, nullptr, nullptr, false},
    };
    for (const Case& c : aCases) {
        SCOPED_TRACE(std::string("LC_ALL=") + (c.pszLcAll ? c.pszLcAll : "-") +
                     " LC_MESSAGES=" + (c.pszLcMessages ? c.pszLcMessages : "-") +
                     " LANG=" + (c.pszLang ? c.pszLang : "-"));
        const std::pair<const char*, const char*> aVariables[] = {
            {"LC_ALL", c.pszLcAll}, {"LC_MESSAGES", c.pszLcMessages}, {"LANG", c.pszLang}};
        for (const auto& [pszName, pszValue] : aVariables) {
            if (pszValue != nullptr) {
                setenv(pszName, pszValue, 1);
            } else {
                unsetenv(pszName);
            }
        }
        Script("cancel");
        EXPECT_EQ(Ask(1, 4, &m_pszPIN), -1);
        for (const char* pszCommand :
             {"SETTITLE", "SETDESC", "SETPROMPT", "SETERROR", "SETOK", "SETCANCEL"}) {
            std::vector<std::string> vtrTexts = Arguments(pszCommand);
            ASSERT_EQ(vtrTexts.size(), 1u) << pszCommand;
            EXPECT_NE(IsAscii(vtrTexts[0]), c.bChinese) << pszCommand << ": " << vtrTexts[0];
        }
    }
}

TEST_F(GetUserPINTest, EveryKeyHasBothTextsAndAMissingKeyShowsItself)
{
    const char* apszKeys[] = {"RetryPIN", "LeftTimes", "PINLengthError", "Error", "PINLocked",
                              "DefaultPinNotSign", "PINTitle", "EnterPIN", "PINPrompt", "OK",
                              "Cancel"};
    for (const char* pszLang : {"en_US.UTF-8", "zh_CN.UTF-8"}) {
        setenv("LANG", pszLang, 1);
        bool bChinese = std::strncmp(pszLang, "zh", 2) == 0;
        for (const char* pszKey : apszKeys) {
            std::string strText = getLocalizedString(pszKey);
            EXPECT_FALSE(strText.empty()) << pszLang << " " << pszKey;
            EXPECT_NE(IsAscii(strText), bChinese) << pszLang << " " << pszKey << ": " << strText;
        }
        const char* pszMissing = "NoSuchKey";
        EXPECT_STREQ(getLocalizedString(pszMissing), pszMissing);
    }
}

}  // namespace
