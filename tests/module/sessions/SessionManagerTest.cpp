// The session layer on its own: a real slot table and token in a
// throwaway home, a clock the tests move, and a PIN prompt that must not be
// reached unless a test expects it.
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/crypto/Cipher.h"
#include "core/token/DeviceHandle.h"
#include "core/token/PinCallback.h"
#include "core/token/TokenGlobalData.h"
#include "core/token/TokenHandle.h"
#include "module/sessions/SessionClock.h"
#include "module/sessions/SessionHandleID.h"
#include "module/sessions/SessionManager.h"
#include "support/TempHome.h"

namespace {

time_t g_tNow = 1700000000;
time_t FakeClock() { return g_tNow; }

int g_nPrompts = 0;

const unsigned char kDefaultPIN[] = "908172";
const unsigned char kSentinel[] = {0x01, 0x08, '5', '0', '7', '3', '9', '1', '6', '2'};

}  // namespace

extern "C" int GetUserPIN_callback(int, int, int, int, char**)
{
    ++g_nPrompts;
    return -1;
}

namespace {

class SessionManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_home.Enter();
        TokenGlobalData::SetImportCertStrategy(1);
        TokenGlobalData::SetCertPinCodeStrategy(0);
        TokenGlobalData::SetTokenLabel("QYRA P11 V3.0");
        TokenGlobalData::SetManufacturerID("QYRA Co., Ltd");
        TokenGlobalData::SetTokenModel("QYRA P11 V3.0");
        TokenGlobalData::SetDefaultPIN("908172");
        TokenGlobalData::SetP11KeySetFolderName("KeySet_Velmoray");
        TokenGlobalData::SetP11DefaultTokenName("QYRAPkcs11DefaultKey");
        ASSERT_EQ(Cipher::CipherInitialize(), 0u);
        ASSERT_EQ(m_device.InitDevice(), 0u);
        SetSessionClock(FakeClock);
        g_nPrompts = 0;
    }
    void TearDown() override
    {
        m_pManager.reset();
        SetSessionClock(nullptr);
        Cipher::CipherUninitialize();
        m_home.Leave();
    }

    CK_SESSION_HANDLE Open(CK_FLAGS ulFlags = CKF_SERIAL_SESSION | CKF_RW_SESSION)
    {
        CK_SESSION_HANDLE h = 0;
        EXPECT_EQ(m_pManager->CreateSession(1, ulFlags, &h), 0u);
        return h;
    }
    // The login state as GetSessionInfo reports it.
    bool LoggedIn(CK_SESSION_HANDLE h)
    {
        CK_SLOT_ID ulSlot = 0;
        CK_FLAGS ulFlags = 0;
        bool bLogin = false;
        EXPECT_EQ(m_pManager->GetSessionInfo(h, &ulSlot, &ulFlags, &bLogin), 0u);
        return bLogin;
    }
    CK_ULONG Count(CK_FLAGS ulMask, CK_SLOT_ID ulSlot = 1)
    {
        CK_ULONG ul = ~CK_ULONG(0);
        EXPECT_EQ(m_pManager->GetSessionCount(ulSlot, ulMask, &ul), 0u);
        return ul;
    }

    TempHome m_home;
    DeviceHandle m_device;
    std::unique_ptr<SessionManager> m_pManager = std::make_unique<SessionManager>(&m_device);
};

TEST(SessionHandleIDTest, LayoutAndLimits)
{
    struct Case {
        unsigned long ulSlot;
        unsigned long ulNumber;
        RESULT ulExpected;
        CK_SESSION_HANDLE hExpected;
    };
    const std::vector<Case> cases = {
        {1, 1, 0, 0x00010001},
        {2, 3, 0, 0x00020003},
        {0xFFFF, 0xFFFF, 0, 0xFFFFFFFF},
        {0, 1, CKR_SLOT_ID_INVALID, 0},
        {0x10000, 1, CKR_SLOT_ID_INVALID, 0},
        {1, 0, CKR_SLOT_ID_INVALID, 0},
        {1, 0x10000, CKR_SLOT_ID_INVALID, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.ulSlot) + "/" + std::to_string(c.ulNumber));
        CK_SESSION_HANDLE h = 0;
        EXPECT_EQ(ConstructSessionHandleID(c.ulSlot, c.ulNumber, &h), c.ulExpected);
        EXPECT_EQ(h, c.hExpected);
    }

    unsigned long ulSlot = 7;
    unsigned long ulNumber = 7;
    EXPECT_EQ(GetSlotAndSessionFromSessionHandleID(0, &ulSlot, &ulNumber), CKR_SESSION_HANDLE_INVALID);
    EXPECT_EQ(ulSlot, 7u);
    EXPECT_EQ(GetSlotAndSessionFromSessionHandleID(0x1234500020003, &ulSlot, &ulNumber), 0u);
    EXPECT_EQ(ulSlot, 2u) << "the upper 32 bits are not part of the handle";
    EXPECT_EQ(ulNumber, 3u);
}

TEST_F(SessionManagerTest, IdleTimeoutReportsTheOldStateOnce)
{
    enum class Call { None, Info, Count, Open, CloseOther };
    struct Step {
        long nAdvance;
        Call eCall;
    };
    struct Case {
        const char* pszWhat;
        std::vector<Step> vtrSteps;
        bool bFirstReport;
        bool bSecondReport;
    };
    const std::vector<Case> cases = {
        {"idle 1799 s", {{1799, Call::None}}, true, true},
        {"idle 1800 s", {{1800, Call::None}}, true, false},
        {"idle a day", {{86400, Call::None}}, true, false},
        {"clock set back", {{-3600, Call::None}}, true, true},
        {"session info refreshes", {{1000, Call::Info}, {1000, Call::None}}, true, true},
        {"closing another session refreshes", {{1000, Call::CloseOther}, {1000, Call::None}}, true, true},
        {"counting does not refresh", {{1000, Call::Count}, {800, Call::None}}, true, false},
        {"opening after the idle time logs out at once", {{1800, Call::Open}}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        m_pManager = std::make_unique<SessionManager>(&m_device);
        const CK_SESSION_HANDLE h = Open();
        const CK_SESSION_HANDLE hOther = Open();
        ASSERT_EQ(m_pManager->Login(h, kDefaultPIN, 6), 0u);
        for (const Step& s : c.vtrSteps) {
            g_tNow += s.nAdvance;
            switch (s.eCall) {
            case Call::None:
                break;
            case Call::Info:
                EXPECT_TRUE(LoggedIn(hOther));
                break;
            case Call::Count:
                EXPECT_EQ(Count(0), 2u);
                break;
            case Call::Open:
                Open();
                break;
            case Call::CloseOther:
                EXPECT_EQ(m_pManager->CloseSession(hOther), 0u);
                break;
            }
        }
        EXPECT_EQ(LoggedIn(h), c.bFirstReport);
        EXPECT_EQ(LoggedIn(h), c.bSecondReport);
    }
}

TEST_F(SessionManagerTest, LoginStateOutlivesPINStateAndTheReverse)
{
    const CK_SESSION_HANDLE h = Open();
    TokenHandle* pToken = m_pManager->GetTokenHandleBySessionHandleID(h);
    ASSERT_NE(pToken, nullptr);
    EXPECT_EQ(m_pManager->GetTokenHandleBySessionHandleID(Open()), pToken) << "one token per slot";
    EXPECT_TRUE(pToken->m_bPINNotVerified);
    ASSERT_EQ(m_pManager->Login(h, kDefaultPIN, 6), 0u);
    EXPECT_FALSE(pToken->m_bPINNotVerified);
    // Logout, the idle timeout and close-all end the login only: private
    // keys of the slot's token stay usable without a new prompt.
    ASSERT_EQ(m_pManager->Logout(h), 0u);
    EXPECT_EQ(m_pManager->Logout(h), CKR_USER_NOT_LOGGED_IN);
    ASSERT_EQ(m_pManager->Login(h, kDefaultPIN, 6), 0u);
    g_tNow += 1800;
    EXPECT_TRUE(LoggedIn(h));
    EXPECT_FALSE(LoggedIn(h));
    ASSERT_EQ(m_pManager->CloseAllSession(1), 0u);
    EXPECT_FALSE(pToken->m_bPINNotVerified);
    EXPECT_EQ(m_pManager->GetTokenHandleBySessionHandleID(h), nullptr);
}

TEST_F(SessionManagerTest, SessionNumbersRunOutAtSixteenBits)
{
    const CK_SESSION_HANDLE hKept = Open();
    CK_SESSION_HANDLE h = 0;
    for (unsigned long n = 2; n <= 0xFFFF; ++n) {
        h = Open();
        ASSERT_EQ(m_pManager->CloseSession(h), 0u);
    }
    EXPECT_EQ(h, 0x0001FFFFu);
    for (int i = 0; i < 3; ++i) {
        CK_SESSION_HANDLE hRefused = 0;
        EXPECT_EQ(m_pManager->CreateSession(1, CKF_SERIAL_SESSION, &hRefused), CKR_SLOT_ID_INVALID);
        EXPECT_EQ(hRefused, 0u);
    }
    // The refused ones left no open record behind.
    EXPECT_EQ(Count(0), 1u);
    EXPECT_FALSE(LoggedIn(hKept)) << "the kept session is still open";
    ASSERT_EQ(m_pManager->CloseAllSession(1), 0u);
    EXPECT_EQ(Open(), 0x00010001u);
}

TEST_F(SessionManagerTest, SessionCountsByMask)
{
    EXPECT_EQ(Count(0), 0u) << "a slot without sessions";
    CK_ULONG ul = 5;
    EXPECT_EQ(m_pManager->GetSessionCount(0, 0, &ul), CKR_SLOT_ID_INVALID);
    EXPECT_EQ(m_pManager->GetSessionCount(2, 0, &ul), CKR_SLOT_ID_INVALID);
    EXPECT_EQ(ul, 5u);

    Open(CKF_SERIAL_SESSION);
    Open(CKF_SERIAL_SESSION);
    Open();
    const CK_SESSION_HANDLE hRW = Open();
    Open();
    ASSERT_EQ(m_pManager->CloseSession(hRW), 0u);
    EXPECT_EQ(Count(0), 4u);
    EXPECT_EQ(Count(CKF_RW_SESSION), 2u);
    EXPECT_EQ(Count(CKF_SERIAL_SESSION), 4u);
    EXPECT_EQ(Count(CKF_RW_SESSION | 0x100), 0u);
}

TEST_F(SessionManagerTest, SentinelPINUnderTheDefaultPINStrategy)
{
    TokenGlobalData::SetCertPinCodeStrategy(1);
    const CK_SESSION_HANDLE h = Open();
    EXPECT_EQ(m_pManager->Login(h, kSentinel, sizeof(kSentinel)), 0u);
    EXPECT_EQ(g_nPrompts, 0);
    EXPECT_TRUE(LoggedIn(h));

    TokenGlobalData::SetCertPinCodeStrategy(0);
    ASSERT_EQ(m_pManager->Logout(h), 0u);
    EXPECT_EQ(m_pManager->Login(h, kSentinel, sizeof(kSentinel)), CKR_CANCEL);
    EXPECT_EQ(g_nPrompts, 1);
    EXPECT_FALSE(LoggedIn(h));
}

}  // namespace
