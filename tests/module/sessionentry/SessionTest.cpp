#include <filesystem>
#include <string>
#include <vector>

#include "SessionEntryFixture.h"

namespace {

using SessionTest = SessionEntryFixture;

CK_RV Notify(CK_SESSION_HANDLE, CK_NOTIFICATION, CK_VOID_PTR) { return CKR_OK; }

TEST_F(SessionTest, OpenSessionRefusalsOpenNothing)
{
    int nApplication = 0;
    struct Case {
        const char* pszWhat;
        CK_SLOT_ID ulSlot;
        CK_FLAGS ulFlags;
        CK_VOID_PTR pApplication;
        CK_NOTIFY pfnNotify;
        bool bHandle;
        CK_RV rvExpected;
    };
    const std::vector<Case> cases = {
        {"application pointer", 1, kRW, &nApplication, nullptr, true, CKR_FUNCTION_FAILED},
        {"notify callback", 1, kRW, nullptr, Notify, true, CKR_FUNCTION_FAILED},
        {"read/write without serial", 1, CKF_RW_SESSION, nullptr, nullptr, true, CKR_FUNCTION_FAILED},
        {"no flags", 1, 0, nullptr, nullptr, true, CKR_FUNCTION_FAILED},
        {"null phSession", 1, kRW, nullptr, nullptr, false, CKR_ARGUMENTS_BAD},
        {"slot 0", 0, kRW, nullptr, nullptr, true, CKR_SLOT_ID_INVALID},
        {"slot not in the table", 2, kRW, nullptr, nullptr, true, CKR_SLOT_ID_INVALID},
        {"slot beyond 16 bits", 0x10001, kRW, nullptr, nullptr, true, CKR_SLOT_ID_INVALID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        CK_SESSION_HANDLE h = 0x5A5A;
        EXPECT_EQ(p11->C_OpenSession(c.ulSlot, c.ulFlags, c.pApplication, c.pfnNotify, c.bHandle ? &h : nullptr),
                  c.rvExpected);
        EXPECT_EQ(h, 0x5A5Au);
    }
    // Nothing was opened by any of them: the first session is number 1.
    EXPECT_EQ(Open(), 0x00010001u);
}

TEST_F(SessionTest, NumbersAreNeverReusedUntilCloseAll)
{
    const CK_SESSION_HANDLE h1 = Open(kRO);
    const CK_SESSION_HANDLE h2 = Open();
    const CK_SESSION_HANDLE h3 = Open();
    EXPECT_EQ(h1, 0x00010001u);
    EXPECT_EQ(h2, 0x00010002u);
    EXPECT_EQ(h3, 0x00010003u);
    ASSERT_EQ(p11->C_CloseSession(h1), CKR_OK);
    ASSERT_EQ(p11->C_CloseSession(h3), CKR_OK);
    EXPECT_EQ(Open(), 0x00010004u) << "closed numbers stay used";

    ASSERT_EQ(p11->C_CloseAllSessions(1), CKR_OK);
    for (CK_SESSION_HANDLE h : {h1, h2, h3, CK_SESSION_HANDLE(0x00010004)}) {
        EXPECT_EQ(State(h), ~CK_STATE(0));
        EXPECT_EQ(p11->C_CloseSession(h), CKR_SESSION_HANDLE_INVALID);
    }
    const CK_SESSION_HANDLE hAgain = Open(kRO);
    EXPECT_EQ(hAgain, 0x00010001u) << "numbering starts again after close-all";
    // The old handle now names the new session.
    CK_SESSION_INFO info = {};
    ASSERT_EQ(p11->C_GetSessionInfo(h1, &info), CKR_OK);
    EXPECT_EQ(info.flags, kRO);
}

TEST_F(SessionTest, SecondSlotHasItsOwnNumbering)
{
    AddSecondToken("QYRAPkcs11SecondKey");
    Restart();
    EXPECT_EQ(Open(kRW, 1), 0x00010001u);
    const CK_SESSION_HANDLE a = Open(kRW, 2);
    const CK_SESSION_HANDLE b = Open(kRO, 2);
    EXPECT_EQ(a, 0x00020001u);
    EXPECT_EQ(b, 0x00020002u);
    ASSERT_EQ(p11->C_CloseSession(a), CKR_OK);
    ASSERT_EQ(p11->C_CloseSession(b), CKR_OK);
    const CK_SESSION_HANDLE c = Open(kRW, 2);
    EXPECT_EQ(c, 0x00020003u);
    CK_SESSION_INFO info = {};
    ASSERT_EQ(p11->C_GetSessionInfo(c, &info), CKR_OK);
    EXPECT_EQ(info.slotID, 2u);

    // Closing all of slot 2 leaves slot 1 alone.
    ASSERT_EQ(p11->C_CloseAllSessions(2), CKR_OK);
    EXPECT_EQ(p11->C_GetSessionInfo(0x00010001, &info), CKR_OK);
    EXPECT_EQ(info.slotID, 1u);
}

TEST_F(SessionTest, SixtyFourOpenSessionsPerSlot)
{
    AddSecondToken("QYRAPkcs11SecondKey");
    Restart();
    std::vector<CK_SESSION_HANDLE> vtrOpen;
    for (int i = 0; i < 64; ++i) {
        vtrOpen.push_back(Open(i % 2 ? kRO : kRW));
    }
    CK_SESSION_HANDLE h = 0;
    EXPECT_EQ(p11->C_OpenSession(1, kRW, nullptr, nullptr, &h), CKR_SESSION_COUNT);
    EXPECT_EQ(h, 0u);
    // Every open session still works, and other slots still open sessions.
    for (CK_SESSION_HANDLE hOpen : vtrOpen) {
        EXPECT_NE(State(hOpen), ~CK_STATE(0));
    }
    EXPECT_EQ(Open(kRW, 2), 0x00020001u);

    ASSERT_EQ(p11->C_CloseSession(vtrOpen[10]), CKR_OK);
    EXPECT_EQ(Open(), 0x00010041u) << "the refused 65th took no number";
    EXPECT_EQ(p11->C_OpenSession(1, kRW, nullptr, nullptr, &h), CKR_SESSION_COUNT);
}

TEST_F(SessionTest, CloseSessionCodes)
{
    const CK_SESSION_HANDLE h = Open();
    EXPECT_EQ(p11->C_CloseSession(h), CKR_OK);
    EXPECT_EQ(p11->C_CloseSession(h), CKR_SESSION_CLOSED);
    EXPECT_EQ(State(h), ~CK_STATE(0)) << "a closed session has no info";
    CK_SESSION_INFO info = {};
    EXPECT_EQ(p11->C_GetSessionInfo(h, &info), CKR_SESSION_HANDLE_INVALID);

    struct Case {
        const char* pszWhat;
        CK_SESSION_HANDLE h;
    };
    const std::vector<Case> cases = {
        {"handle 0", 0},
        {"session number 0", 0x00010000},
        {"number never handed out", 0x00010002},
        {"slot without sessions", 0x00020001},
        {"slot 0", 0x00000001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        EXPECT_EQ(p11->C_CloseSession(c.h), CKR_SESSION_HANDLE_INVALID);
        EXPECT_EQ(p11->C_GetSessionInfo(c.h, &info), CKR_SESSION_HANDLE_INVALID);
        EXPECT_EQ(p11->C_Logout(c.h), CKR_SESSION_HANDLE_INVALID);
    }
}

TEST_F(SessionTest, CloseAllSessionsCodes)
{
    AddSecondToken("QYRAPkcs11SecondKey");
    Restart();
    EXPECT_EQ(p11->C_CloseAllSessions(0), CKR_SLOT_ID_INVALID);
    EXPECT_EQ(p11->C_CloseAllSessions(3), CKR_SLOT_ID_INVALID);
    EXPECT_EQ(p11->C_CloseAllSessions(1), CKR_SLOT_ID_INVALID) << "no session was ever opened on slot 1";
    const CK_SESSION_HANDLE h = Open();
    EXPECT_EQ(p11->C_CloseAllSessions(2), CKR_SLOT_ID_INVALID);
    EXPECT_EQ(p11->C_CloseAllSessions(1), CKR_OK);
    EXPECT_EQ(p11->C_CloseSession(h), CKR_SESSION_HANDLE_INVALID);
    // Once the slot had sessions, closing all of none is fine.
    EXPECT_EQ(p11->C_CloseAllSessions(1), CKR_OK);
}

TEST_F(SessionTest, SessionStatesFollowFlagsAndLogin)
{
    const CK_SESSION_HANDLE hRO = Open(kRO);
    const CK_SESSION_HANDLE hRW = Open(kRW);
    CK_SESSION_INFO info;
    memset(&info, 0xAA, sizeof(info));
    ASSERT_EQ(p11->C_GetSessionInfo(hRO, &info), CKR_OK);
    EXPECT_EQ(info.slotID, 1u);
    EXPECT_EQ(info.state, CKS_RO_PUBLIC_SESSION);
    EXPECT_EQ(info.flags, kRO);
    EXPECT_EQ(info.ulDeviceError, 0u);
    EXPECT_EQ(State(hRW), CKS_RW_PUBLIC_SESSION);

    ASSERT_EQ(Login(hRO, kDefaultPIN), CKR_OK);
    EXPECT_EQ(State(hRO), CKS_RO_USER_FUNCTIONS) << "login belongs to the slot";
    ASSERT_EQ(p11->C_GetSessionInfo(hRW, &info), CKR_OK);
    EXPECT_EQ(info.state, CKS_RW_USER_FUNCTIONS);
    EXPECT_EQ(info.flags, kRW);

    // Flags are stored as given, extra bits included.
    const CK_SESSION_HANDLE hOdd = Open(kRW | 0x100);
    ASSERT_EQ(p11->C_GetSessionInfo(hOdd, &info), CKR_OK);
    EXPECT_EQ(info.flags, kRW | 0x100);

    EXPECT_EQ(p11->C_GetSessionInfo(hRW, nullptr), CKR_ARGUMENTS_BAD);
}

TEST_F(SessionTest, ClosingSessionsAndLogin)
{
    // Closing the last session keeps the slot logged in.
    CK_SESSION_HANDLE h = Open();
    ASSERT_EQ(Login(h, kDefaultPIN), CKR_OK);
    ASSERT_EQ(p11->C_CloseSession(h), CKR_OK);
    h = Open(kRO);
    EXPECT_EQ(State(h), CKS_RO_USER_FUNCTIONS);

    // Close-all logs out, also when every session was closed one by one.
    ASSERT_EQ(p11->C_CloseSession(h), CKR_OK);
    ASSERT_EQ(p11->C_CloseAllSessions(1), CKR_OK);
    h = Open(kRO);
    EXPECT_EQ(State(h), CKS_RO_PUBLIC_SESSION);
    EXPECT_EQ(p11->C_Logout(h), CKR_USER_NOT_LOGGED_IN);
}

TEST_F(SessionTest, UnloadableTokenGivesHostMemoryAndLeavesNothingBehind)
{
    namespace fs = std::filesystem;
    const std::string strConfig = TokenFolder() + "/.config";
    fs::rename(strConfig, strConfig + ".away");
    CK_SESSION_HANDLE h = 0;
    EXPECT_EQ(p11->C_OpenSession(1, kRW, nullptr, nullptr, &h), CKR_HOST_MEMORY);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(p11->C_CloseAllSessions(1), CKR_SLOT_ID_INVALID) << "no session object was kept";

    fs::rename(strConfig + ".away", strConfig);
    EXPECT_EQ(Open(), 0x00010001u);
}

TEST_F(SessionTest, EverySessionCallNeedsTheModuleInitialised)
{
    const CK_SESSION_HANDLE h = Open();
    ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
    CK_SESSION_HANDLE hNew = 0;
    CK_SESSION_INFO info = {};
    CK_BYTE by[4] = {};
    CK_UTF8CHAR pin[] = "908172";
    EXPECT_EQ(p11->C_OpenSession(1, kRW, nullptr, nullptr, &hNew), CKR_CRYPTOKI_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_CloseSession(h), CKR_CRYPTOKI_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_CloseAllSessions(1), CKR_CRYPTOKI_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_GetSessionInfo(h, &info), CKR_CRYPTOKI_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_Login(h, CKU_USER, pin, 6), CKR_CRYPTOKI_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_Logout(h), CKR_CRYPTOKI_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_SeedRandom(h, by, sizeof(by)), CKR_CRYPTOKI_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_GenerateRandom(h, by, sizeof(by)), CKR_CRYPTOKI_NOT_INITIALIZED);

    // Sessions from before do not survive a restart.
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    EXPECT_EQ(p11->C_GetSessionInfo(h, &info), CKR_SESSION_HANDLE_INVALID);
}

}  // namespace
