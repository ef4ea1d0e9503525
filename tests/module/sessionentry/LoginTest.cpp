#include <string>
#include <vector>

#include "SessionEntryFixture.h"

namespace {

using LoginTest = SessionEntryFixture;

// 0x01 0x08 "50739162": the PIN that asks the user.
const std::string kSentinel = std::string("\x01\x08", 2) + "50739162";

TEST_F(LoginTest, RefusedBeforeAnyPINIsTried)
{
    const CK_SESSION_HANDLE h = Open();
    CK_UTF8CHAR pin[] = "90817212345678901";
    struct Case {
        const char* pszWhat;
        CK_USER_TYPE ulUser;
        CK_UTF8CHAR_PTR pPin;
        CK_ULONG ulLen;
        CK_RV rvExpected;
    };
    const std::vector<Case> cases = {
        {"security officer", CKU_SO, pin, 6, CKR_FUNCTION_FAILED},
        {"context specific", CKU_CONTEXT_SPECIFIC, pin, 6, CKR_FUNCTION_FAILED},
        {"null PIN", CKU_USER, nullptr, 6, CKR_ARGUMENTS_BAD},
        {"null PIN of length 0", CKU_USER, nullptr, 0, CKR_ARGUMENTS_BAD},
        {"length 0", CKU_USER, pin, 0, CKR_ARGUMENTS_BAD},
        {"5 bytes", CKU_USER, pin, 5, CKR_PIN_LEN_RANGE},
        {"17 bytes", CKU_USER, pin, 17, CKR_PIN_LEN_RANGE},
        // Cut to 32 bits this would be the right 6-byte PIN.
        {"6 bytes above 4 GiB", CKU_USER, pin, 0x100000006, CKR_PIN_LEN_RANGE},
        {"length with bit 31 set", CKU_USER, pin, 0x80000006, CKR_PIN_LEN_RANGE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        EXPECT_EQ(p11->C_Login(h, c.ulUser, c.pPin, c.ulLen), c.rvExpected);
        EXPECT_EQ(State(h), CKS_RW_PUBLIC_SESSION);
        EXPECT_EQ(StoredPINCount(), 6u) << "no try may be spent";
    }
    EXPECT_EQ(PinRequests(), 0u);
}

TEST_F(LoginTest, BadSessions)
{
    const CK_SESSION_HANDLE h = Open();
    ASSERT_EQ(p11->C_CloseSession(h), CKR_OK);
    EXPECT_EQ(Login(h, kDefaultPIN), CKR_SESSION_CLOSED);
    EXPECT_EQ(Login(0, kDefaultPIN), CKR_SESSION_HANDLE_INVALID);
    EXPECT_EQ(Login(0x00010002, kDefaultPIN), CKR_SESSION_HANDLE_INVALID);
    EXPECT_EQ(p11->C_Logout(h), CKR_SESSION_CLOSED);
    EXPECT_EQ(StoredPINCount(), 6u);
}

TEST_F(LoginTest, LoginAgainAndLogoutTwice)
{
    const CK_SESSION_HANDLE h = Open();
    EXPECT_EQ(p11->C_Logout(h), CKR_USER_NOT_LOGGED_IN);
    ASSERT_EQ(Login(h, kDefaultPIN), CKR_OK);
    EXPECT_EQ(Login(h, kDefaultPIN), CKR_OK) << "no already-logged-in refusal";
    EXPECT_EQ(State(h), CKS_RW_USER_FUNCTIONS);
    EXPECT_EQ(p11->C_Logout(h), CKR_OK);
    EXPECT_EQ(p11->C_Logout(h), CKR_USER_NOT_LOGGED_IN);
    EXPECT_EQ(State(h), CKS_RW_PUBLIC_SESSION);
}

TEST_F(LoginTest, WrongPINsCountDownToLocked)
{
    const CK_SESSION_HANDLE h = Open();
    // A right PIN puts the count back to full.
    ASSERT_EQ(Login(h, "000000"), CKR_PIN_INCORRECT);
    ASSERT_EQ(Login(h, "000000"), CKR_PIN_INCORRECT);
    EXPECT_EQ(StoredPINCount(), 4u);
    ASSERT_EQ(Login(h, kDefaultPIN), CKR_OK);
    EXPECT_EQ(StoredPINCount(), 6u);
    ASSERT_EQ(p11->C_Logout(h), CKR_OK);

    for (uint32_t ulLeft = 5;; --ulLeft) {
        SCOPED_TRACE(ulLeft);
        EXPECT_EQ(Login(h, "1234567"), CKR_PIN_INCORRECT);
        EXPECT_EQ(StoredPINCount(), ulLeft);
        if (ulLeft == 0) {
            break;
        }
    }
    EXPECT_EQ(Login(h, kDefaultPIN), CKR_PIN_LOCKED) << "locked: the right PIN no longer opens";
    EXPECT_EQ(Login(h, kSentinel), CKR_PIN_LOCKED);
    EXPECT_EQ(PinRequests(), 0u) << "a locked token never prompts";
    EXPECT_EQ(State(h), CKS_RW_PUBLIC_SESSION);
}

TEST_F(LoginTest, PromptSentinelAsksThroughThePINPrompt)
{
    struct Case {
        const char* pszWhat;
        std::string strPIN;
        const char* pszReplies;
        CK_RV rvExpected;
        uint32_t ulCountAfter;
        CK_STATE ulState;
    };
    const std::vector<Case> cases = {
        {"right PIN entered", kSentinel, "pin:908172", CKR_OK, 6, CKS_RW_USER_FUNCTIONS},
        {"with the terminating zero byte", kSentinel + std::string(1, '\0'), "pin:908172", CKR_OK, 6,
         CKS_RW_USER_FUNCTIONS},
        {"cancelled", kSentinel, "cancel", CKR_CANCEL, 6, CKS_RW_PUBLIC_SESSION},
        // Asked once only: a wrong PIN is not asked again.
        {"wrong PIN entered", kSentinel, "pin:123456|pin:908172", CKR_PIN_INCORRECT, 5, CKS_RW_PUBLIC_SESSION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        const CK_SESSION_HANDLE h = Open();
        ScriptPinentry(c.pszReplies);
        EXPECT_EQ(Login(h, c.strPIN), c.rvExpected);
        EXPECT_EQ(PinRequests(), 1u);
        EXPECT_EQ(StoredPINCount(), c.ulCountAfter);
        EXPECT_EQ(State(h), c.ulState);
        ASSERT_EQ(p11->C_CloseAllSessions(1), CKR_OK);
    }
}

TEST_F(LoginTest, SentinelPrefixIsAnOrdinaryPIN)
{
    // Only the exact sentinel prompts; a longer PIN starting with it is
    // checked as given.
    const CK_SESSION_HANDLE h = Open();
    ScriptPinentry("pin:908172");
    EXPECT_EQ(Login(h, kSentinel + "1"), CKR_PIN_INCORRECT);
    EXPECT_EQ(PinRequests(), 0u);
    EXPECT_EQ(StoredPINCount(), 5u);
}

}  // namespace
