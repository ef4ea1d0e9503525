#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherTestTools.h"
#include "core/platform/PlatformOverrides.h"
#include "core/storage/ProtectData.h"
#include "StorageFixture.h"

namespace {

const char* const kUUID = "3f2a9c1e5b7d4e0f8a6c2b1d9e4f7a30";

class ProtectDataTest : public StorageFixture {
protected:
    void SetUp() override
    {
        StorageFixture::SetUp();
        ASSERT_EQ(Cipher::CipherInitialize(), 0u);
        UseIdentity(kUUID, std::nullopt, "alice");
    }
    void TearDown() override
    {
        Cipher::CipherUninitialize();
        StorageFixture::TearDown();
    }

    static void UseIdentity(const std::string& strUUID, std::optional<std::string> optSerial,
                            const std::string& strLogin)
    {
        _platformOverrides stOverrides;
        stOverrides.strPlatformUUID = strUUID;
        stOverrides.strSerialNumber = optSerial;
        stOverrides.strLoginName = strLogin;
        SetPlatformOverrides(stOverrides);
    }

    static RESULT Seal(const Bytes& vtrPlain, const char* pszPIN, Bytes& vtrSealed)
    {
        uint8_t* pbyOut = nullptr;
        int nOut = 0;
        RESULT ulResult = CreateProtectData(vtrPlain.data(), static_cast<long>(vtrPlain.size()),
                                            pszPIN, &pbyOut, &nOut);
        if (ulResult == 0) {
            vtrSealed.assign(pbyOut, pbyOut + nOut);
            delete[] pbyOut;
        }
        return ulResult;
    }
    static RESULT Open(const Bytes& vtrSealed, const char* pszPIN, Bytes& vtrPlain)
    {
        uint8_t* pbyOut = nullptr;
        int nOut = 0;
        RESULT ulResult = AcquireProtectData(vtrSealed.data(), static_cast<long>(vtrSealed.size()),
                                             pszPIN, &pbyOut, &nOut);
        if (ulResult == 0) {
            vtrPlain.assign(pbyOut, pbyOut + nOut);
            delete[] pbyOut;
        }
        return ulResult;
    }

    // The blob as an outside reader computes it: key block = SM3(pass || 00000001),
    // IV its first 16 bytes, key the last 16, then SM4-CBC.
    static Bytes ReferenceSeal(const std::string& strPass, const Bytes& vtrPlain)
    {
        Bytes vtrInput = BytesOf(strPass);
        vtrInput.insert(vtrInput.end(), {0, 0, 0, 1});
        unsigned char byDigest[EVP_MAX_MD_SIZE];
        unsigned int nDigest = 0;
        EXPECT_EQ(EVP_Digest(vtrInput.data(), vtrInput.size(), byDigest, &nDigest, EVP_sm3(), nullptr),
                  1);
        const Bytes vtrIV(byDigest, byDigest + 16);
        const Bytes vtrKey(byDigest + 16, byDigest + 32);
        Bytes vtrOut;
        EXPECT_TRUE(OpensslEncrypt("sm4-cbc", vtrKey, vtrIV, vtrPlain, vtrOut));
        return vtrOut;
    }
};

TEST_F(ProtectDataTest, BlobIsSm4CbcUnderThePassString)
{
    const struct {
        size_t nPlainLen;
        std::optional<std::string> optSerial;
        const char* pszPIN;
        size_t nSealedLen;
    } cases[] = {
        {1, std::nullopt, "908172", 16},
        {15, std::nullopt, "908172", 16},
        {16, std::nullopt, "908172", 32},
        {72, std::nullopt, "908172", 80},
        {16, std::nullopt, "", 32},       // pass string then ends in "#"
        {16, std::string("C02XK0ABJGH5"), "908172", 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nPlainLen) + " bytes, PIN '" + c.pszPIN + "'");
        UseIdentity(kUUID, c.optSerial, "alice");
        Bytes vtrPlain(c.nPlainLen);
        for (size_t i = 0; i < vtrPlain.size(); ++i) {
            vtrPlain[i] = static_cast<uint8_t>('a' + i % 26);
        }
        Bytes vtrSealed;
        ASSERT_EQ(Seal(vtrPlain, c.pszPIN, vtrSealed), 0u);
        EXPECT_EQ(vtrSealed.size(), c.nSealedLen);
        const std::string strPass =
            std::string(kUUID) + c.optSerial.value_or("") + "alice" + "#" + c.pszPIN;
        EXPECT_EQ(ToHex(vtrSealed), ToHex(ReferenceSeal(strPass, vtrPlain)));

        Bytes vtrOpened;
        ASSERT_EQ(Open(vtrSealed, c.pszPIN, vtrOpened), 0u);
        EXPECT_EQ(vtrOpened, vtrPlain);
    }
}

TEST_F(ProtectDataTest, OtherMachineLoginOrSecretDoesNotOpen)
{
    const Bytes vtrPlain = BytesOf(std::string(72, 'e'));
    Bytes vtrSealed;
    ASSERT_EQ(Seal(vtrPlain, "908172", vtrSealed), 0u);
    const struct {
        const char* pszWhat;
        const char* pszUUID;
        const char* pszSerial;
        const char* pszLogin;
        const char* pszPIN;
    } cases[] = {
        {"other machine", "3f2a9c1e5b7d4e0f8a6c2b1d9e4f7a31", nullptr, "alice", "908172"},
        {"serial part delivered", kUUID, "C02XK0ABJGH5", "alice", "908172"},
        {"other login", kUUID, nullptr, "alicf", "908172"},
        {"other secret", kUUID, nullptr, "alice", "908173"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        UseIdentity(c.pszUUID, c.pszSerial ? std::optional<std::string>(c.pszSerial) : std::nullopt,
                    c.pszLogin);
        Bytes vtrOpened;
        const RESULT ulResult = Open(vtrSealed, c.pszPIN, vtrOpened);
        EXPECT_FALSE(ulResult == 0 && vtrOpened == vtrPlain);
        if (ulResult != 0) {
            EXPECT_EQ(ulResult, NTE_FAIL);
        }
    }
}

TEST_F(ProtectDataTest, RefusedArgumentsLeaveOutputsUntouched)
{
    const uint8_t byData[32] = {1};
    uint8_t* const pbyMarker = reinterpret_cast<uint8_t*>(0x1234);
    const struct {
        const char* pszWhat;
        const uint8_t* pbyData;
        long nLen;
        const char* pszPIN;
        bool bOutPointer;
        bool bOutLength;
        RESULT ulExpected;
    } cases[] = {
        {"null data", nullptr, 16, "908172", true, true, ERROR_INVALID_PARAMETER},
        {"zero length", byData, 0, "908172", true, true, ERROR_INVALID_PARAMETER},
        {"negative length", byData, -16, "908172", true, true, ERROR_INVALID_PARAMETER},
        {"null secret", byData, 16, nullptr, true, true, ERROR_INVALID_PARAMETER},
        {"null out", byData, 16, "908172", false, true, ERROR_INVALID_PARAMETER},
        {"null out length", byData, 16, "908172", true, false, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        for (auto* pfn : {&CreateProtectData, &AcquireProtectData}) {
            uint8_t* pbyOut = pbyMarker;
            int nOut = -7;
            EXPECT_EQ(pfn(c.pbyData, c.nLen, c.pszPIN, c.bOutPointer ? &pbyOut : nullptr,
                          c.bOutLength ? &nOut : nullptr),
                      c.ulExpected);
            EXPECT_EQ(pbyOut, pbyMarker);
            EXPECT_EQ(nOut, -7);
        }
    }
    // A blob that is not whole cipher blocks cannot be opened.
    uint8_t* pbyOut = pbyMarker;
    int nOut = -7;
    EXPECT_EQ(AcquireProtectData(byData, 17, "908172", &pbyOut, &nOut), NTE_FAIL);
    EXPECT_EQ(pbyOut, pbyMarker);
}

TEST_F(ProtectDataTest, UserInfoIsMachineThenSerialThenLogin)
{
    char* pszInfo = nullptr;
    ASSERT_EQ(GetUserInfo(&pszInfo), 0u);
    EXPECT_STREQ(pszInfo, (std::string(kUUID) + "alice").c_str());
    delete[] pszInfo;

    UseIdentity(kUUID, std::string("SER"), "bob");
    ASSERT_EQ(GetUserInfo(&pszInfo), 0u);
    EXPECT_STREQ(pszInfo, (std::string(kUUID) + "SERbob").c_str());
    delete[] pszInfo;

    EXPECT_EQ(GetUserInfo(nullptr), ERROR_INVALID_PARAMETER);
}

}  // namespace
