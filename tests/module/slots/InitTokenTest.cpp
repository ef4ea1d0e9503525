// C_InitToken through the loaded module: argument checks before anything
// changes, the PIN reaching the token layer, the re-initialised token.
#include <cstring>
#include <filesystem>
#include <string>

#include "SlotsFixture.h"

namespace {

class InitTokenTest : public SlotsFixture {
protected:
    void SetUp() override
    {
        SlotsFixture::SetUp();
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
        MakeContainerFiles(kDefaultToken, 1);
        memset(m_byLabel, ' ', sizeof(m_byLabel));
        memcpy(m_byLabel, "Renamed", 7);
    }
    size_t ContainerFileCount() const
    {
        size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(TokenFolder(kDefaultToken))) {
            n += entry.path().filename() != ".config";
        }
        return n;
    }

    CK_UTF8CHAR m_byLabel[32];
};

constexpr size_t kPINCountAt = 136;

TEST_F(InitTokenTest, RefusedArgumentsChangeNothing)
{
    CK_UTF8CHAR byPIN[] = "90817290817290817";  // 17 bytes
    const struct {
        const char* pszWhat;
        bool bNullPIN;
        CK_ULONG ulLen;
        bool bNullLabel;
        CK_RV rvExpected;
    } kCases[] = {
        {"no PIN", true, 6, false, CKR_ARGUMENTS_BAD},
        {"5 bytes", false, 5, false, CKR_PIN_LEN_RANGE},
        {"17 bytes", false, 17, false, CKR_PIN_LEN_RANGE},
        {"0 bytes", false, 0, false, CKR_PIN_LEN_RANGE},
        {"no label", false, 6, true, CKR_ARGUMENTS_BAD},
    };
    const Bytes vtrConfig = ConfigOf(kDefaultToken);
    for (const auto& stCase : kCases) {
        SCOPED_TRACE(stCase.pszWhat);
        EXPECT_EQ(p11->C_InitToken(1, stCase.bNullPIN ? nullptr : byPIN, stCase.ulLen,
                                   stCase.bNullLabel ? nullptr : m_byLabel),
                  stCase.rvExpected);
        EXPECT_EQ(ConfigOf(kDefaultToken), vtrConfig);
        EXPECT_EQ(ContainerFileCount(), 1u);
    }
}

TEST_F(InitTokenTest, PINsOf6And16BytesReachTheTokenLayer)
{
    // A wrong 16-byte PIN is tried, and counted, by the token.
    CK_UTF8CHAR byWrong[] = "0123456789abcdef";
    EXPECT_EQ(p11->C_InitToken(1, byWrong, 16, m_byLabel), CKR_FUNCTION_FAILED);
    EXPECT_EQ(ConfigNumber(kDefaultToken, kPINCountAt), 5u);
    EXPECT_EQ(ContainerFileCount(), 1u);

    CK_UTF8CHAR byRight[] = "908172";
    ASSERT_EQ(p11->C_InitToken(1, byRight, 6, m_byLabel), CKR_OK);
    EXPECT_EQ(ContainerFileCount(), 0u);
    EXPECT_EQ(ConfigNumber(kDefaultToken, kPINCountAt), 6u);
    CK_TOKEN_INFO info;
    ASSERT_EQ(p11->C_GetTokenInfo(1, &info), CKR_OK);
    EXPECT_EQ(Field(info.label, 32), Field(m_byLabel, 32));
    EXPECT_EQ(info.flags & CKF_USER_PIN_TO_BE_CHANGED, 0u);
    EXPECT_EQ(info.ulFreePublicMemory, 1024u * 1024u);
}

}  // namespace

namespace {

// Open sessions show in the token info, and C_InitToken waits until the
// slot has none: it would delete container files under running sessions.
TEST_F(InitTokenTest, OpenSessionsAreCountedAndBlockInitToken)
{
    CK_SESSION_HANDLE hReadOnly = 0;
    CK_SESSION_HANDLE hReadWrite = 0;
    ASSERT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION, nullptr, nullptr, &hReadOnly), CKR_OK);
    ASSERT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &hReadWrite), CKR_OK);

    CK_TOKEN_INFO info;
    ASSERT_EQ(p11->C_GetTokenInfo(1, &info), CKR_OK);
    EXPECT_EQ(info.ulSessionCount, 2u);
    EXPECT_EQ(info.ulRwSessionCount, 1u);

    CK_UTF8CHAR byPIN[] = "908172";
    EXPECT_EQ(p11->C_InitToken(1, byPIN, 6, m_byLabel), CKR_SESSION_EXISTS);
    EXPECT_EQ(ContainerFileCount(), 1u);

    ASSERT_EQ(p11->C_CloseSession(hReadOnly), CKR_OK);
    ASSERT_EQ(p11->C_GetTokenInfo(1, &info), CKR_OK);
    EXPECT_EQ(info.ulSessionCount, 1u);
    EXPECT_EQ(info.ulRwSessionCount, 1u);
    EXPECT_EQ(p11->C_InitToken(1, byPIN, 6, m_byLabel), CKR_SESSION_EXISTS);

    ASSERT_EQ(p11->C_CloseAllSessions(1), CKR_OK);
    EXPECT_EQ(p11->C_InitToken(1, byPIN, 6, m_byLabel), CKR_OK);
    EXPECT_EQ(ContainerFileCount(), 0u);
}

}  // namespace
