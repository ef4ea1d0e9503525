// A throwaway home holding one token folder, the settings the module pushes
// at start-up, a fixed machine and account, and raw access to ".config"
// that bypasses the code under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "core/crypto/Cipher.h"
#include "core/platform/PlatformOverrides.h"
#include "core/storage/FileSimple.h"
#include "core/storage/ProtectData.h"
#include "core/token/TokenGlobalData.h"
#include "core/token/TokenHandle.h"
#include "PinScript.h"
#include "support/TempHome.h"

using Bytes = std::vector<uint8_t>;

constexpr const char* kToken = "QYRAPkcs11DefaultKey";
constexpr const char* kDefaultPIN = "908172";
constexpr const char* kFullName = "Alice Example";

inline std::string Hex(const uint8_t* pby, size_t n)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += kDigits[pby[i] >> 4];
        s += kDigits[pby[i] & 0x0F];
    }
    return s;
}

inline uint32_t LE32(const Bytes& v, size_t nAt)
{
    return v[nAt] | (v[nAt + 1] << 8) | (v[nAt + 2] << 16) | (static_cast<uint32_t>(v[nAt + 3]) << 24);
}

inline void PutLE32(Bytes& v, uint32_t ul)
{
    for (int i = 0; i < 4; ++i) {
        v.push_back(static_cast<uint8_t>(ul >> (8 * i)));
    }
}

inline void SetLE32(Bytes& v, size_t nAt, uint32_t ul)
{
    for (int i = 0; i < 4; ++i) {
        v[nAt + i] = static_cast<uint8_t>(ul >> (8 * i));
    }
}

// The token info string as an outside reader computes it.
inline std::string InfoOf(const std::string& strFullName, const std::string& strToken)
{
    const std::string strInput = strFullName + strToken;
    uint8_t byMd5[16];
    uint8_t bySha1[20];
    unsigned int n = 0;
    EVP_Digest(strInput.data(), strInput.size(), byMd5, &n, EVP_md5(), nullptr);
    EVP_Digest(strInput.data(), strInput.size(), bySha1, &n, EVP_sha1(), nullptr);
    return Hex(byMd5, 16) + Hex(bySha1, 20);
}

inline Bytes SealText(const std::string& strText, const char* pszPIN)
{
    uint8_t* pbyOut = nullptr;
    int nOut = 0;
    EXPECT_EQ(CreateProtectData(reinterpret_cast<const uint8_t*>(strText.data()),
                                static_cast<long>(strText.size()), pszPIN, &pbyOut, &nOut),
              0u);
    Bytes v(pbyOut, pbyOut + nOut);
    delete[] pbyOut;
    return v;
}

// What the sealed bytes open to under pszPIN; empty when they do not open.
inline std::string OpenText(const Bytes& vtrSealed, const char* pszPIN)
{
    uint8_t* pbyOut = nullptr;
    int nOut = 0;
    if (AcquireProtectData(vtrSealed.data(), static_cast<long>(vtrSealed.size()), pszPIN, &pbyOut,
                           &nOut) != 0) {
        return std::string();
    }
    std::string s(reinterpret_cast<char*>(pbyOut), nOut);
    delete[] pbyOut;
    return s;
}

// The fields of a token file, to be laid out with any lengths a test wants.
struct TokenFileImage {
    std::string strName = kToken;
    std::optional<uint32_t> optNameLen;  // unset: strlen + 1
    struct Field {
        uint32_t ulLen;
        Bytes vtrBytes;
    };
    Field stLabel{32, Bytes(32, 'L')};
    Field stManufacturer{32, Bytes(32, 'M')};
    Field stModel{16, Bytes(16, 'm')};
    Field stSerial{16, Bytes(16, 's')};
    uint32_t ulFlags = TOKEN_DEFAULT_FLAGS;
    uint32_t ulMax = 1024;
    uint32_t ulCurrent = 0;
    uint32_t ulPINCount = 6;
    std::optional<uint32_t> optVerifierLen;  // unset: the verifier's size
    Bytes vtrVerifier = Bytes(80, 'v');

    Bytes Build() const
    {
        Bytes v;
        PutLE32(v, TOKEN_FILE_TAG);
        PutLE32(v, TOKEN_FILE_VERSION);
        PutLE32(v, optNameLen.value_or(static_cast<uint32_t>(strName.size() + 1)));
        v.insert(v.end(), strName.begin(), strName.end());
        v.push_back(0);
        for (const Field* p : {&stLabel, &stManufacturer, &stModel, &stSerial}) {
            PutLE32(v, p->ulLen);
            v.insert(v.end(), p->vtrBytes.begin(), p->vtrBytes.end());
        }
        PutLE32(v, ulFlags);
        PutLE32(v, ulMax);
        PutLE32(v, ulCurrent);
        PutLE32(v, ulPINCount);
        PutLE32(v, optVerifierLen.value_or(static_cast<uint32_t>(vtrVerifier.size())));
        v.insert(v.end(), vtrVerifier.begin(), vtrVerifier.end());
        return v;
    }
};

class TokenFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_home.Enter();
        TokenGlobalData::SetImportCertStrategy(1);
        TokenGlobalData::SetCertPinCodeStrategy(0);
        TokenGlobalData::SetTokenLabel("QYRA P11 V3.0");
        TokenGlobalData::SetManufacturerID("QYRA Co., Ltd");
        TokenGlobalData::SetTokenModel("QYRA P11 V3.0");
        TokenGlobalData::SetDefaultPIN(kDefaultPIN);
        TokenGlobalData::SetP11KeySetFolderName("KeySet_Velmoray");
        TokenGlobalData::SetP11DefaultTokenName(kToken);
        UseAccount("5f0c2d7e9a1b4c3d8e6f0a2b4c6d8e0f", "alice", kFullName);
        ASSERT_EQ(Cipher::CipherInitialize(), 0u);
        std::filesystem::create_directories(TokenFolder());
        PinScript::Set({});
    }
    void TearDown() override
    {
        EXPECT_EQ(PinScript::Remaining(), 0u) << "prompt steps left unused";
        SetWriteFileSimpleHook(nullptr);
        Cipher::CipherUninitialize();
        ResetPlatformOverrides();
        m_home.Leave();
    }

    static void UseAccount(const std::string& strUUID, const std::string& strLogin,
                           const std::string& strFullName)
    {
        _platformOverrides stOverrides;
        stOverrides.strPlatformUUID = strUUID;
        stOverrides.strLoginName = strLogin;
        stOverrides.strFullUserName = strFullName;
        SetPlatformOverrides(stOverrides);
    }

    std::string TokenFolder(const std::string& strName = kToken) const
    {
        return m_home.BaseFolder() + "/KeySet_Velmoray/" + strName;
    }
    std::string ConfigPath() const { return TokenFolder() + "/.config"; }

    Bytes ReadConfig() const
    {
        std::ifstream in(ConfigPath(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void WriteConfig(const Bytes& v) const
    {
        std::ofstream out(ConfigPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(v.size()));
    }

    // Offsets behind the name of the default token.
    static size_t After(size_t nOffset) { return nOffset + strlen(kToken) + 1; }
    static size_t CountAt() { return After(136); }

    uint32_t StoredCount() const { return LE32(ReadConfig(), CountAt()); }
    uint32_t StoredFlags() const { return LE32(ReadConfig(), After(124)); }
    void SetStored(size_t nOffset, uint32_t ulValue) const
    {
        Bytes v = ReadConfig();
        SetLE32(v, nOffset, ulValue);
        WriteConfig(v);
    }
    Bytes StoredVerifier() const
    {
        const Bytes v = ReadConfig();
        const uint32_t ulLen = LE32(v, After(140));
        return Bytes(v.begin() + After(144), v.begin() + After(144) + ulLen);
    }
    void SetStoredVerifier(const Bytes& vtrVerifier) const
    {
        Bytes v = ReadConfig();
        v.resize(After(140));
        PutLE32(v, static_cast<uint32_t>(vtrVerifier.size()));
        v.insert(v.end(), vtrVerifier.begin(), vtrVerifier.end());
        WriteConfig(v);
    }

    std::unique_ptr<TokenHandle> NewToken() const
    {
        std::unique_ptr<TokenHandle> p(TokenHandle::CreateNewTokenHandle(1, kToken));
        EXPECT_NE(p, nullptr);
        return p;
    }
    std::unique_ptr<TokenHandle> OpenToken() const
    {
        std::unique_ptr<TokenHandle> p(TokenHandle::CreateRegisteredTokenHandle(1, kToken));
        EXPECT_NE(p, nullptr);
        return p;
    }

    TempHome m_home;
};
