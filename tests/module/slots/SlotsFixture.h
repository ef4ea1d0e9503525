// The loaded module on a throwaway key set, with tokens and container
// files laid out beforehand by the token core of this test program.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/crypto/Cipher.h"
#include "core/storage/Container.h"
#include "core/token/Pkcs11Text.h"
#include "core/token/TokenGlobalData.h"
#include "core/token/TokenHandle.h"
#include "support/ModuleFixture.h"

using Bytes = std::vector<uint8_t>;

constexpr const char* kDefaultToken = "QYRAPkcs11DefaultKey";

inline std::string Field(const unsigned char* pby, size_t n) { return std::string(reinterpret_cast<const char*>(pby), n); }

inline bool AllBytesAre(const void* p, size_t n, uint8_t by)
{
    const auto* pby = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) {
        if (pby[i] != by) return false;
    }
    return true;
}

inline std::string Padded(const std::string& str, size_t nWidth) { return str + std::string(nWidth - str.size(), ' '); }

class SlotsFixture : public ModuleFixture {
protected:
    void SetUp() override
    {
        ModuleFixture::SetUp();
        // The settings the module pushes, for this program's own core.
        TokenGlobalData::SetTokenLabel("QYRA P11 V3.0");
        TokenGlobalData::SetManufacturerID("QYRA Co., Ltd");
        TokenGlobalData::SetTokenModel("QYRA P11 V3.0");
        TokenGlobalData::SetDefaultPIN("908172");
        TokenGlobalData::SetP11KeySetFolderName("KeySet_Velmoray");
        TokenGlobalData::SetP11DefaultTokenName(kDefaultToken);
    }

    std::string KeySet() const { return m_home.BaseFolder() + "/KeySet_Velmoray"; }
    std::string TokenFolder(const std::string& strToken) const { return KeySet() + "/" + strToken; }

    // A token on disk as the module makes one, with its own label.
    void MakeToken(const std::string& strName, const char* pszLabel) const
    {
        ASSERT_EQ(Cipher::CipherInitialize(), 0u);
        std::filesystem::create_directories(TokenFolder(strName));
        std::unique_ptr<TokenHandle> pToken(TokenHandle::CreateNewTokenHandle(1, strName.c_str()));
        ASSERT_NE(pToken, nullptr);
        SetPkcs11UTF8Char(pToken->m_byTokenLabel, TOKEN_LABEL_LEN, pszLabel);
        EXPECT_EQ(pToken->GenerateTokenFile(), 0u);
        pToken.reset();
        Cipher::CipherUninitialize();
    }

    // nCount empty data container files named c0, c1, ...
    void MakeContainerFiles(const std::string& strToken, int nCount) const
    {
        for (int i = 0; i < nCount; ++i) {
            const std::string strName = "c" + std::to_string(i);
            char* pszLegal = nullptr;
            ASSERT_EQ(Container::GetLegalContainerName(strName.c_str(), &pszLegal), 0u);
            std::string strFile("\x44\x00\xDD\x07\x00\x00\x03\x00", 8);
            auto put = [&](uint32_t u) {
                for (int b = 0; b < 4; ++b) strFile += static_cast<char>(u >> (8 * b));
            };
            put(0);
            put(static_cast<uint32_t>(strName.size() + 1));
            strFile += strName + '\0';
            put(SEQUENCEID_DATA_FLAG), put(4), put(0);
            for (uint32_t uTag : {SEQUENCEID_DATA_LABEL, SEQUENCEID_DATA_APPLICATION, SEQUENCEID_DATA_OID,
                                  SEQUENCEID_DATA_VALUE}) {
                put(uTag), put(0);
            }
            std::ofstream(TokenFolder(strToken) + "/" + pszLegal, std::ios::binary) << strFile;
            delete[] pszLegal;
        }
    }

    Bytes ConfigOf(const std::string& strToken) const
    {
        std::ifstream in(TokenFolder(strToken) + "/.config", std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // A 32-bit field of the token file at an offset behind the name.
    uint32_t ConfigNumber(const std::string& strToken, size_t nOffset) const
    {
        const Bytes v = ConfigOf(strToken);
        const size_t n = nOffset + strToken.size() + 1;
        return n + 4 <= v.size() ? v[n] | (v[n + 1] << 8) | (v[n + 2] << 16) | (uint32_t(v[n + 3]) << 24) : ~0u;
    }

    std::vector<CK_SLOT_ID> SlotList(CK_BBOOL bPresent = CK_TRUE)
    {
        CK_ULONG n = 0;
        EXPECT_EQ(p11->C_GetSlotList(bPresent, nullptr, &n), CKR_OK);
        std::vector<CK_SLOT_ID> v(n);
        EXPECT_EQ(p11->C_GetSlotList(bPresent, v.data(), &n), CKR_OK);
        v.resize(n);
        return v;
    }
    std::string TokenLabel(CK_SLOT_ID slot)
    {
        CK_TOKEN_INFO info;
        if (p11->C_GetTokenInfo(slot, &info) != CKR_OK) {
            return "<error>";
        }
        return Field(info.label, sizeof(info.label));
    }
};
