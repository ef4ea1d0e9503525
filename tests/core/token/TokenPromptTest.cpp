#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "TokenFixture.h"

namespace {

class TokenPromptTest : public TokenFixture {
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

    static std::vector<int> Modes()
    {
        std::vector<int> v;
        for (const PromptCall& c : PinScript::Calls()) {
            v.push_back(c.nMode);
        }
        return v;
    }
    static std::vector<int> Lefts()
    {
        std::vector<int> v;
        for (const PromptCall& c : PinScript::Calls()) {
            v.push_back(c.nLeft);
        }
        return v;
    }

    std::unique_ptr<TokenHandle> m_pToken;
};

TEST_F(TokenPromptTest, OnlyAZeroResultHandsOverAPIN)
{
    auto Step = [](int nResult, const char* pszPIN, bool bGarbage) {
        PromptStep s;
        s.nResult = nResult;
        s.pszPIN = pszPIN;
        s.bGarbagePointer = bGarbage;
        return s;
    };
    const struct {
        const char* pszWhat;
        PromptStep stStep;
        RESULT ulExpected;
    } cases[] = {
        {"cancel", Step(-1, nullptr, false), CKR_CANCEL},
        {"cancel leaving a bogus pointer", Step(-1, nullptr, true), CKR_CANCEL},
        {"locked", Step(-2, nullptr, false), CKR_PIN_LOCKED},
        {"other result", Step(3, nullptr, true), CKR_CANCEL},
        {"zero without a PIN", Step(0, nullptr, false), CKR_CANCEL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        PinScript::Set({c.stStep});
        EXPECT_EQ(m_pToken->CheckPIN(true, true), c.ulExpected);
        ASSERT_EQ(PinScript::Calls().size(), 1u);
        const PromptCall& call = PinScript::Calls()[0];
        EXPECT_EQ(call.nMode, 0);
        EXPECT_EQ(call.nLeft, 6);
        EXPECT_EQ(call.nMin, 6);
        EXPECT_EQ(call.nMax, 16);
        EXPECT_TRUE(call.bOutWasNull);
        EXPECT_EQ(StoredCount(), 6u) << "nothing was tried";
    }
}

TEST_F(TokenPromptTest, WrongPINsWithAndWithoutRetry)
{
    const struct {
        const char* pszWhat;
        bool bRetry;
        uint32_t ulStartCount;
        std::vector<PromptStep> vtrSteps;
        RESULT ulExpected;
        std::vector<int> vtrModes;
        std::vector<int> vtrLefts;
        uint32_t ulStoredAfter;
    } cases[] = {
        {"wrong, no retry", false, 6, {Answer("000000")}, CKR_PIN_INCORRECT, {0}, {6}, 5},
        {"wrong then right", true, 6, {Answer("000000"), Answer(kDefaultPIN)}, 0, {0, 1}, {6, 5}, 6},
        {"wrong then cancel", true, 6, {Answer("000000"), Cancel()}, CKR_CANCEL, {0, 1}, {6, 5}, 5},
        {"last try wrong", true, 1, {Answer("000000")}, CKR_PIN_LOCKED, {0}, {1}, 0},
        {"six wrong",
         true,
         6,
         {Answer("1"), Answer("2"), Answer("3"), Answer("4"), Answer("5"), Answer("6")},
         CKR_PIN_LOCKED,
         {0, 1, 1, 1, 1, 1},
         {6, 5, 4, 3, 2, 1},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        SetStored(CountAt(), c.ulStartCount);
        PinScript::Set(c.vtrSteps);
        EXPECT_EQ(m_pToken->CheckPIN(true, c.bRetry), c.ulExpected);
        EXPECT_EQ(Modes(), c.vtrModes);
        EXPECT_EQ(Lefts(), c.vtrLefts);
        EXPECT_EQ(StoredCount(), c.ulStoredAfter);
        EXPECT_EQ(m_pToken->m_bPINNotVerified, c.ulExpected != 0);
    }
}

TEST_F(TokenPromptTest, TokenLockedWhileThePromptIsOpen)
{
    // Another process takes the token's lock and uses the last try while
    // the prompt is open.
    PromptStep stStep = Answer(kDefaultPIN);
    stStep.fnBefore = [this] {
        const int fd = open(TokenFolder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "the lock is not held across the prompt";
        SetStored(CountAt(), 0);
        close(fd);
    };
    PinScript::Set({stStep});
    EXPECT_EQ(m_pToken->CheckPIN(true, true), CKR_PIN_LOCKED);
    EXPECT_EQ(StoredCount(), 0u) << "never decremented past zero";

    SetStored(CountAt(), 6);
    stStep.fnBefore = [this] { SetStored(CountAt(), 0); };
    PinScript::Set({stStep});
    char* pszInfo = nullptr;
    EXPECT_EQ(m_pToken->GetRealPIN(&pszInfo, true, true), CKR_PIN_LOCKED);
    EXPECT_EQ(pszInfo, nullptr);
    EXPECT_EQ(StoredCount(), 0u);

    // Locked before the prompt: nobody is asked.
    EXPECT_EQ(m_pToken->CheckPIN(true, true), CKR_PIN_LOCKED);
    EXPECT_EQ(m_pToken->GetRealPIN(&pszInfo, false, false), CKR_PIN_LOCKED);
}

TEST_F(TokenPromptTest, AVerifiedPINIsNotAskedAgain)
{
    PinScript::Set({Answer(kDefaultPIN)});
    EXPECT_EQ(m_pToken->CheckPIN(false, false), 0u) << "a fresh object asks";
    EXPECT_EQ(PinScript::Calls().size(), 1u);

    PinScript::Set({});
    EXPECT_EQ(m_pToken->CheckPIN(false, false), 0u);
    EXPECT_TRUE(PinScript::Calls().empty());

    PinScript::Set({Answer(kDefaultPIN)});
    EXPECT_EQ(m_pToken->CheckPIN(true, false), 0u) << "bShowUI asks anyway";
    EXPECT_EQ(PinScript::Calls().size(), 1u);

    // A failed check makes the next use ask again.
    PinScript::Set({Answer("000000"), Answer(kDefaultPIN)});
    EXPECT_EQ(m_pToken->CheckPIN(true, false), CKR_PIN_INCORRECT);
    EXPECT_EQ(m_pToken->CheckPIN(false, false), 0u);
    EXPECT_EQ(PinScript::Calls().size(), 2u);
}

TEST_F(TokenPromptTest, GetRealPINHandsOutTheInfoStringOnceVerified)
{
    char* pszInfo = nullptr;
    PinScript::Set({Cancel()});
    EXPECT_EQ(m_pToken->GetRealPIN(&pszInfo, false, false), CKR_CANCEL);
    EXPECT_EQ(pszInfo, nullptr);

    PinScript::Set({Answer("000000"), Answer(kDefaultPIN)});
    ASSERT_EQ(m_pToken->GetRealPIN(&pszInfo, false, true), 0u);
    EXPECT_EQ(std::string(pszInfo), InfoOf(kFullName, kToken));
    delete[] pszInfo;
    EXPECT_EQ(StoredCount(), 6u);

    PinScript::Set({});
    pszInfo = nullptr;
    ASSERT_EQ(m_pToken->GetRealPIN(&pszInfo, false, false), 0u);
    EXPECT_EQ(std::string(pszInfo), InfoOf(kFullName, kToken));
    delete[] pszInfo;
    EXPECT_EQ(m_pToken->GetRealPIN(nullptr, false, false), ERROR_INVALID_PARAMETER);
}

}  // namespace
