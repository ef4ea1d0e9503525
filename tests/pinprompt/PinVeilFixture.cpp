#include "PinVeilFixture.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include <dlfcn.h>
#include <sys/wait.h>

void PinVeilFixture::SetUp()
{
    m_home.Enter();
    m_hLibrary = dlopen(TESSERA_PINVEIL_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_hLibrary, nullptr) << dlerror();
    GetUserPIN = reinterpret_cast<GetUserPINFunc>(dlsym(m_hLibrary, "GetUserPIN"));
    getLocalizedString =
        reinterpret_cast<GetLocalizedStringFunc>(dlsym(m_hLibrary, "getLocalizedString"));
    ASSERT_NE(GetUserPIN, nullptr);
    ASSERT_NE(getLocalizedString, nullptr);

    m_strLog = m_home.Path() + "/pinentry.log";
    setenv("PINVEIL_PINENTRY", TESSERA_SOURCE_DIR "/tests/pinprompt/fake-pinentry", 1);
    setenv("FAKE_PINENTRY_LOG", m_strLog.c_str(), 1);
    for (const char* pszName : {"LC_ALL", "LC_MESSAGES", "GPG_TTY", "DISPLAY", "TERM"}) {
        unsetenv(pszName);
    }
    setenv("LANG", "C", 1);
    Script("");
}

void PinVeilFixture::TearDown()
{
    if (m_hLibrary != nullptr) {
        dlclose(m_hLibrary);
    }
    m_home.Leave();
}

void PinVeilFixture::Script(const std::string& strReplies, const std::string& strStart)
{
    setenv("FAKE_PINENTRY_REPLIES", strReplies.c_str(), 1);
    setenv("FAKE_PINENTRY_START", strStart.c_str(), 1);
    std::ofstream(m_strLog, std::ios::trunc);
}

int PinVeilFixture::Ask(int nInitState, int nLeftTimes, char** ppszPIN, int nMin, int nMax)
{
    int nResult = GetUserPIN(nInitState, nLeftTimes, nMin, nMax, ppszPIN);
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a child process is left behind";
    EXPECT_EQ(errno, ECHILD);
    return nResult;
}

std::vector<std::string> PinVeilFixture::Lines() const
{
    std::vector<std::string> vtrLines;
    std::ifstream file(m_strLog);
    for (std::string strLine; std::getline(file, strLine);) {
        vtrLines.push_back(strLine);
    }
    return vtrLines;
}

std::vector<std::string> PinVeilFixture::Arguments(const char* pszCommand) const
{
    std::string strPrefix = std::string(pszCommand) + " ";
    std::vector<std::string> vtrArguments;
    for (const std::string& strLine : Lines()) {
        if (strLine == pszCommand) {
            vtrArguments.push_back("");
        } else if (strLine.rfind(strPrefix, 0) == 0) {
            vtrArguments.push_back(PercentDecoded(strLine.substr(strPrefix.size())));
        }
    }
    return vtrArguments;
}

std::string PercentDecoded(const std::string& strText)
{
    std::string strOut;
    for (size_t i = 0; i < strText.size(); ++i) {
        if (strText[i] == '%' && i + 2 < strText.size()) {
            strOut += static_cast<char>(std::stoi(strText.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            strOut += strText[i];
        }
    }
    return strOut;
}

bool IsAscii(const std::string& strText)
{
    for (unsigned char c : strText) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}
