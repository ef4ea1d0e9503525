#include <atomic>
#include <filesystem>
#include <string>

#include "TokenFixture.h"

namespace {

class TokenPinTest : public TokenFixture {
protected:
    void SetUp() override
    {
        TokenFixture::SetUp();
        m_pToken = NewToken();
        ASSERT_NE(m_pToken, nullptr);
    }
    void TearDown() override
    {
        m_pToken.reset();
        TokenFixture::TearDown();
    }

    RESULT Check(const std::string& strPIN)
    {
        return m_pToken->CheckPIN(reinterpret_cast<const unsigned char*>(strPIN.data()),
                                  static_cast<long>(strPIN.size()));
    }
    RESULT Init(const std::string& strPIN, const Bytes& vtrLabel)
    {
        return m_pToken->InitToken(reinterpret_cast<const unsigned char*>(strPIN.data()),
                                   static_cast<long>(strPIN.size()), vtrLabel.data());
    }

    std::unique_ptr<TokenHandle> m_pToken;
};

// Fails every write from the n-th on (1-based); 0 lets all through.
std::atomic<int> g_nFailFromWrite{0};
std::atomic<int> g_nWrites{0};
RESULT CountingWriteHook(const char*, const char*)
{
    const int nWrite = ++g_nWrites;
    return g_nFailFromWrite != 0 && nWrite >= g_nFailFromWrite ? E_FAIL : 0;
}
void FailWritesFrom(int nWrite)
{
    g_nWrites = 0;
    g_nFailFromWrite = nWrite;
    SetWriteFileSimpleHook(nWrite != 0 ? &CountingWriteHook : nullptr);
}

TEST_F(TokenPinTest, SixWrongPINsLockTheToken)
{
    for (uint32_t ulLeft = 5; ulLeft != 0xFFFFFFFF; --ulLeft) {
        SCOPED_TRACE(ulLeft);
        EXPECT_EQ(Check("000000"), CKR_PIN_INCORRECT);
        EXPECT_EQ(StoredCount(), ulLeft);
        EXPECT_TRUE(m_pToken->m_bPINNotVerified);
    }
    const Bytes vtrLocked = ReadConfig();
    EXPECT_EQ(Check(kDefaultPIN), CKR_PIN_LOCKED);
    EXPECT_EQ(m_pToken->CheckPIN(true, true), CKR_PIN_LOCKED) << "no prompt when locked";
    EXPECT_EQ(TokenHandle::ChangePIN(kToken, kDefaultPIN, "135790"), CKR_PIN_LOCKED);
    EXPECT_EQ(Init(kDefaultPIN, Bytes(32, 'x')), CKR_PIN_LOCKED);
    EXPECT_EQ(ReadConfig(), vtrLocked);
}

TEST_F(TokenPinTest, RightPINRestoresTheCount)
{
    EXPECT_EQ(Check("000000"), CKR_PIN_INCORRECT);
    EXPECT_EQ(Check("111111"), CKR_PIN_INCORRECT);
    EXPECT_EQ(StoredCount(), 4u);
    EXPECT_EQ(Check(kDefaultPIN), 0u);
    EXPECT_EQ(StoredCount(), 6u);
    EXPECT_FALSE(m_pToken->m_bPINNotVerified);
    // Another object of the same token sees the shared counter.
    EXPECT_EQ(Check("000000"), CKR_PIN_INCORRECT);
    auto pOther = OpenToken();
    EXPECT_EQ(pOther->m_ulCurrentPINCount, 5u);
}

TEST_F(TokenPinTest, GivenPINRefusedBeforeAnyTry)
{
    const struct {
        const char* pszWhat;
        std::string strPIN;
        RESULT ulExpected;
    } cases[] = {
        {"5 bytes", "90817", CKR_PIN_LEN_RANGE},
        {"17 bytes", std::string(17, '9'), CKR_PIN_LEN_RANGE},
        {"empty", "", CKR_PIN_LEN_RANGE},
        // Cut at the zero byte this would be the right PIN.
        {"zero byte at the end", std::string("908172\0", 7), CKR_PIN_INVALID},
        {"zero byte inside", std::string("908") + '\0' + "172", CKR_PIN_INVALID},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        EXPECT_EQ(Check(c.strPIN), c.ulExpected);
        EXPECT_EQ(StoredCount(), 6u);
    }
    EXPECT_EQ(m_pToken->CheckPIN(static_cast<const unsigned char*>(nullptr), 6), CKR_ARGUMENTS_BAD);
}

TEST_F(TokenPinTest, NoTryWithoutTheSpentTryOnDisk)
{
    // Every write fails: the PIN is not tried, right or wrong.
    FailWritesFrom(1);
    EXPECT_EQ(Check("000000"), CKR_PIN_INVALID);
    EXPECT_EQ(Check(kDefaultPIN), CKR_PIN_INVALID);
    EXPECT_TRUE(m_pToken->m_bPINNotVerified);
    FailWritesFrom(0);
    EXPECT_EQ(StoredCount(), 6u);

    // The restoring write after a right PIN fails: no login, the spent try
    // stays, and the next right PIN restores it.
    FailWritesFrom(2);
    EXPECT_EQ(Check(kDefaultPIN), CKR_PIN_INCORRECT);
    EXPECT_TRUE(m_pToken->m_bPINNotVerified);
    FailWritesFrom(0);
    EXPECT_EQ(StoredCount(), 5u);
    EXPECT_EQ(Check(kDefaultPIN), 0u);
    EXPECT_EQ(StoredCount(), 6u);
}

TEST_F(TokenPinTest, VerifierOpeningToOtherBytesIsAWrongPIN)
{
    const std::string strInfo = InfoOf(kFullName, kToken);
    const struct {
        const char* pszWhat;
        std::string strSealed;
    } cases[] = {
        {"other 72 characters", std::string(72, 'f')},
        {"leading part of the info string", strInfo.substr(0, 40)},
        {"info string and more", strInfo + "00"},
        {"one block", "0123456789abcdef"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        // Sealed under the right PIN, so the padding is valid when opened.
        const Bytes vtrForged = SealText(c.strSealed, kDefaultPIN);
        SetStoredVerifier(vtrForged);
        SetStored(CountAt(), 6);

        EXPECT_EQ(Check(kDefaultPIN), CKR_PIN_INCORRECT);
        EXPECT_EQ(StoredCount(), 5u);
        EXPECT_EQ(TokenHandle::ChangePIN(kToken, kDefaultPIN, "135790"), CKR_PIN_INVALID);
        EXPECT_EQ(StoredCount(), 4u);
        EXPECT_EQ(StoredVerifier(), vtrForged);
        EXPECT_EQ(Init(kDefaultPIN, Bytes(32, 'x')), CKR_PIN_INCORRECT);
        PinScript::Set({Answer(kDefaultPIN)});
        char* pszInfo = nullptr;
        EXPECT_EQ(m_pToken->GetRealPIN(&pszInfo, true, false), CKR_PIN_INCORRECT);
        EXPECT_EQ(pszInfo, nullptr);
        EXPECT_EQ(StoredCount(), 2u);
    }
}

TEST_F(TokenPinTest, OtherMachineOrAccountCannotOpenTheVerifier)
{
    const struct {
        const char* pszWhat;
        const char* pszUUID;
        const char* pszLogin;
        const char* pszFullName;
    } cases[] = {
        {"other machine", "5f0c2d7e9a1b4c3d8e6f0a2b4c6d8e0e", "alice", kFullName},
        {"other login name", "5f0c2d7e9a1b4c3d8e6f0a2b4c6d8e0f", "alicia", kFullName},
        {"other full name", "5f0c2d7e9a1b4c3d8e6f0a2b4c6d8e0f", "alice", "Alice Other"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        UseAccount(c.pszUUID, c.pszLogin, c.pszFullName);
        EXPECT_EQ(Check(kDefaultPIN), CKR_PIN_INCORRECT);
        EXPECT_EQ(StoredCount(), 5u);
        UseAccount("5f0c2d7e9a1b4c3d8e6f0a2b4c6d8e0f", "alice", kFullName);
        EXPECT_EQ(Check(kDefaultPIN), 0u);
    }
}

TEST_F(TokenPinTest, ChangePIN)
{
    EXPECT_EQ(TokenHandle::ChangePIN(kToken, "000000", "135790"), CKR_PIN_INCORRECT);
    EXPECT_EQ(StoredCount(), 5u);
    EXPECT_EQ(OpenText(StoredVerifier(), kDefaultPIN), InfoOf(kFullName, kToken));

    EXPECT_EQ(TokenHandle::ChangePIN(kToken, kDefaultPIN, "135790"), 0u);
    EXPECT_EQ(StoredCount(), 6u);
    // Only "to be changed" goes; the user PIN stays initialised.
    EXPECT_EQ(StoredFlags(), 0x0000040Cu);
    EXPECT_EQ(OpenText(StoredVerifier(), "135790"), InfoOf(kFullName, kToken));
    EXPECT_EQ(Check(kDefaultPIN), CKR_PIN_INCORRECT);
    EXPECT_EQ(Check("135790"), 0u);
}

TEST_F(TokenPinTest, ChangePINRefusals)
{
    const struct {
        const char* pszWhat;
        const char* pszToken;
        const char* pszOld;
        const char* pszNew;
        RESULT ulExpected;
    } cases[] = {
        {"null token", nullptr, kDefaultPIN, "135790", ERROR_INVALID_PARAMETER},
        {"null old", kToken, nullptr, "135790", ERROR_INVALID_PARAMETER},
        {"null new", kToken, kDefaultPIN, nullptr, ERROR_INVALID_PARAMETER},
        {"missing token", "Missing", kDefaultPIN, "135790", E_FAIL},
        {"new 5 bytes", kToken, kDefaultPIN, "13579", CKR_PIN_LEN_RANGE},
        {"new 17 bytes", kToken, kDefaultPIN, "13579013579013579", CKR_PIN_LEN_RANGE},
        // Nine characters, eighteen bytes: no login would take it.
        {"new 9 two-byte characters", kToken, kDefaultPIN, "ééééééééé", CKR_PIN_LEN_RANGE},
    };
    const Bytes vtrBefore = ReadConfig();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        EXPECT_EQ(TokenHandle::ChangePIN(c.pszToken, c.pszOld, c.pszNew), c.ulExpected);
        EXPECT_EQ(ReadConfig(), vtrBefore);
    }
    EXPECT_EQ(TokenHandle::ChangePIN(kToken, kDefaultPIN, "ééééééé\x31\x32"), 0u)
        << "16 bytes are accepted";
}

TEST_F(TokenPinTest, ModifyPINKeepsTheVerifiedState)
{
    ASSERT_EQ(Check(kDefaultPIN), 0u);
    EXPECT_EQ(m_pToken->ModifyPIN("000000", "135790"), CKR_PIN_INCORRECT);
    EXPECT_EQ(StoredCount(), 5u);
    EXPECT_FALSE(m_pToken->m_bPINNotVerified);
    EXPECT_EQ(m_pToken->ModifyPIN(kDefaultPIN, "1357"), CKR_PIN_LEN_RANGE);
    EXPECT_EQ(m_pToken->ModifyPIN(nullptr, "135790"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(StoredCount(), 5u);
    EXPECT_EQ(m_pToken->ModifyPIN(kDefaultPIN, "135790"), 0u);
    EXPECT_FALSE(m_pToken->m_bPINNotVerified);
    EXPECT_EQ(StoredCount(), 6u);
    EXPECT_EQ(StoredFlags(), 0x0000040Cu);
    EXPECT_EQ(OpenText(StoredVerifier(), "135790"), InfoOf(kFullName, kToken));
}

TEST_F(TokenPinTest, SetPINOnlyWithoutAnInitialisedPIN)
{
    auto NewText = [](const char* psz) {
        char* p = new char[strlen(psz) + 1];
        strcpy(p, psz);
        return p;
    };
    EXPECT_EQ(m_pToken->SetPIN(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(m_pToken->SetPIN(NewText("135790")), E_FAIL);
    // Still refused after a PIN change, which keeps the PIN initialised.
    ASSERT_EQ(TokenHandle::ChangePIN(kToken, kDefaultPIN, "246801"), 0u);
    EXPECT_EQ(m_pToken->SetPIN(NewText("135790")), E_FAIL);
    EXPECT_EQ(OpenText(StoredVerifier(), "246801"), InfoOf(kFullName, kToken));

    SetStored(After(124), 0x00080404);
    EXPECT_EQ(m_pToken->SetPIN(NewText("13579")), CKR_PIN_LEN_RANGE);
    EXPECT_EQ(m_pToken->SetPIN(NewText("135790")), 0u);
    EXPECT_EQ(StoredFlags(), 0x00000404u);
    EXPECT_EQ(OpenText(StoredVerifier(), "135790"), InfoOf(kFullName, kToken));
}

TEST_F(TokenPinTest, InitTokenResealsTakesTheLabelAndDropsContainers)
{
    std::ofstream(TokenFolder() + "/container-a") << "a";
    std::ofstream(TokenFolder() + "/.c") << "c";
    std::filesystem::create_directories(TokenFolder() + "/sub");
    const Bytes vtrLabel = [] {
        Bytes v(32, ' ');
        memcpy(v.data(), "Re-initialised", 14);
        return v;
    }();

    EXPECT_EQ(Init("000000", vtrLabel), CKR_PIN_INCORRECT);
    EXPECT_TRUE(std::filesystem::exists(TokenFolder() + "/container-a"));
    EXPECT_EQ(Init("90817", vtrLabel), CKR_PIN_LEN_RANGE);
    EXPECT_EQ(Init(std::string(17, '9'), vtrLabel), CKR_PIN_LEN_RANGE);
    EXPECT_EQ(m_pToken->InitToken(nullptr, 6, vtrLabel.data()), CKR_ARGUMENTS_BAD);

    EXPECT_EQ(Init(kDefaultPIN, vtrLabel), 0u);
    const Bytes vtrFile = ReadConfig();
    EXPECT_EQ(Bytes(vtrFile.begin() + After(16), vtrFile.begin() + After(48)), vtrLabel);
    EXPECT_EQ(StoredFlags(), 0x0000040Cu);
    EXPECT_EQ(StoredCount(), 6u);
    EXPECT_EQ(OpenText(StoredVerifier(), kDefaultPIN), InfoOf(kFullName, kToken));
    EXPECT_FALSE(std::filesystem::exists(TokenFolder() + "/container-a"));
    EXPECT_TRUE(std::filesystem::exists(TokenFolder() + "/.c"));
    EXPECT_TRUE(std::filesystem::is_directory(TokenFolder() + "/sub"));
}

TEST_F(TokenPinTest, InitTokenThroughThePromptSealsUnderTheTypedPIN)
{
    ASSERT_EQ(TokenHandle::ChangePIN(kToken, kDefaultPIN, "135790"), 0u);
    std::ofstream(TokenFolder() + "/container-a") << "a";
    const Bytes vtrLabel(32, 'N');
    const std::string strSentinel(reinterpret_cast<const char*>(PROMPT_SENTINEL_PIN),
                                  sizeof(PROMPT_SENTINEL_PIN));

    PinScript::Set({Cancel()});
    EXPECT_EQ(Init(strSentinel, vtrLabel), CKR_CANCEL);
    EXPECT_TRUE(std::filesystem::exists(TokenFolder() + "/container-a"));

    PinScript::Set({Answer("135790")});
    EXPECT_EQ(Init(strSentinel, vtrLabel), 0u);
    ASSERT_EQ(PinScript::Calls().size(), 1u);
    EXPECT_EQ(PinScript::Calls()[0].nMode, 0);
    EXPECT_FALSE(std::filesystem::exists(TokenFolder() + "/container-a"));
    const Bytes vtrFile = ReadConfig();
    EXPECT_EQ(Bytes(vtrFile.begin() + After(16), vtrFile.begin() + After(48)), vtrLabel);
    EXPECT_EQ(OpenText(StoredVerifier(), "135790"), InfoOf(kFullName, kToken));
}

}  // namespace
