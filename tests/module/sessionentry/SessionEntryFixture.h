// The loaded module, initialised on a throwaway key set, with the scripted
// stand-in pinentry as its PIN prompt and raw access to the token files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ModuleFixture.h"

constexpr const char* kDefaultToken = "QYRAPkcs11DefaultKey";
constexpr const char* kDefaultPIN = "908172";
constexpr CK_FLAGS kRW = CKF_SERIAL_SESSION | CKF_RW_SESSION;
constexpr CK_FLAGS kRO = CKF_SERIAL_SESSION;

class SessionEntryFixture : public ModuleFixture {
protected:
    void SetUp() override
    {
        ModuleFixture::SetUp();
        m_strPinentryLog = m_home.Path() + "/pinentry.log";
        setenv("PINVEIL_PINENTRY", TESSERA_SOURCE_DIR "/tests/pinprompt/fake-pinentry", 1);
        setenv("FAKE_PINENTRY_LOG", m_strPinentryLog.c_str(), 1);
        for (const char* pszName : {"LC_ALL", "LC_MESSAGES", "GPG_TTY", "DISPLAY", "TERM"}) {
            unsetenv(pszName);
        }
        setenv("LANG", "C", 1);
        ScriptPinentry("");
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    }

    // Replies of the stand-in pinentry ('|'-separated); empties its log.
    void ScriptPinentry(const std::string& strReplies)
    {
        setenv("FAKE_PINENTRY_REPLIES", strReplies.c_str(), 1);
        unsetenv("FAKE_PINENTRY_START");
        std::ofstream(m_strPinentryLog, std::ios::trunc);
    }
    // How many PIN requests the stand-in received.
    size_t PinRequests() const
    {
        size_t n = 0;
        std::ifstream in(m_strPinentryLog);
        for (std::string strLine; std::getline(in, strLine);) {
            n += strLine == "GETPIN";
        }
        return n;
    }

    CK_SESSION_HANDLE Open(CK_FLAGS ulFlags = kRW, CK_SLOT_ID ulSlot = 1)
    {
        CK_SESSION_HANDLE h = 0;
        EXPECT_EQ(p11->C_OpenSession(ulSlot, ulFlags, nullptr, nullptr, &h), CKR_OK);
        return h;
    }
    CK_RV Login(CK_SESSION_HANDLE h, const std::string& strPIN)
    {
        std::vector<CK_UTF8CHAR> v(strPIN.begin(), strPIN.end());
        return p11->C_Login(h, CKU_USER, v.data(), v.size());
    }
    // CK_SESSION_INFO.state, or ~0 when C_GetSessionInfo refuses.
    CK_STATE State(CK_SESSION_HANDLE h)
    {
        CK_SESSION_INFO info = {};
        return p11->C_GetSessionInfo(h, &info) == CKR_OK ? info.state : ~CK_STATE(0);
    }

    std::string TokenFolder(const std::string& strName = kDefaultToken) const
    {
        return m_home.BaseFolder() + "/KeySet_Velmoray/" + strName;
    }
    std::vector<uint8_t> ReadConfig(const std::string& strName = kDefaultToken) const
    {
        std::ifstream in(TokenFolder(strName) + "/.config", std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Tries left as the token file stores them.
    uint32_t StoredPINCount() const
    {
        const std::vector<uint8_t> v = ReadConfig();
        const size_t nAt = 136 + strlen(kDefaultToken) + 1;
        EXPECT_GE(v.size(), nAt + 4);
        return v[nAt] | (v[nAt + 1] << 8) | (v[nAt + 2] << 16) | (static_cast<uint32_t>(v[nAt + 3]) << 24);
    }

    // A second token folder, the default one copied under another name
    // (its token file names its folder); the module sees it from the next
    // C_Initialize on. Names sort after the default token: slot 2.
    void AddSecondToken(const std::string& strName)
    {
        namespace fs = std::filesystem;
        fs::copy(TokenFolder(), TokenFolder(strName), fs::copy_options::recursive);
        std::vector<uint8_t> v = ReadConfig(strName);
        const size_t nOldName = strlen(kDefaultToken) + 1;
        std::vector<uint8_t> vtrNew(v.begin(), v.begin() + 8);
        const uint32_t ulLen = static_cast<uint32_t>(strName.size() + 1);
        for (int i = 0; i < 4; ++i) {
            vtrNew.push_back(static_cast<uint8_t>(ulLen >> (8 * i)));
        }
        vtrNew.insert(vtrNew.end(), strName.begin(), strName.end());
        vtrNew.push_back(0);
        vtrNew.insert(vtrNew.end(), v.begin() + 12 + nOldName, v.end());
        std::ofstream out(TokenFolder(strName) + "/.config", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(vtrNew.data()), static_cast<std::streamsize>(vtrNew.size()));
    }
    void Restart()
    {
        ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    }

    std::string m_strPinentryLog;
};
