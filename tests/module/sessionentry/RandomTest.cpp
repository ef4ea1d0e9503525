#include <algorithm>
#include <vector>

#include "SessionEntryFixture.h"

namespace {

using RandomTest = SessionEntryFixture;

TEST_F(RandomTest, Refusals)
{
    const CK_SESSION_HANDLE hRO = Open(kRO);
    const CK_SESSION_HANDLE hRW = Open(kRW);
    const CK_SESSION_HANDLE hClosed = Open(kRW);
    ASSERT_EQ(p11->C_CloseSession(hClosed), CKR_OK);
    // Logging in does not make a read-only session read/write.
    ASSERT_EQ(Login(hRO, kDefaultPIN), CKR_OK);
    CK_BYTE by[16] = {};
    struct Case {
        const char* pszWhat;
        CK_SESSION_HANDLE h;
        CK_BYTE_PTR pData;
        CK_ULONG ulLen;
        CK_RV rvExpected;
    };
    const std::vector<Case> cases = {
        {"read-only session", hRO, by, sizeof(by), CKR_SESSION_READ_ONLY},
        {"null buffer", hRW, nullptr, sizeof(by), CKR_ARGUMENTS_BAD},
        {"length 0", hRW, by, 0, CKR_ARGUMENTS_BAD},
        {"closed session", hClosed, by, sizeof(by), CKR_SESSION_HANDLE_INVALID},
        {"handle 0", 0, by, sizeof(by), CKR_SESSION_HANDLE_INVALID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        EXPECT_EQ(p11->C_GenerateRandom(c.h, c.pData, c.ulLen), c.rvExpected);
        EXPECT_EQ(p11->C_SeedRandom(c.h, c.pData, c.ulLen), c.rvExpected);
    }
    EXPECT_TRUE(std::all_of(std::begin(by), std::end(by), [](CK_BYTE b) { return b == 0; }))
        << "a refused call writes nothing";
}

TEST_F(RandomTest, LongBuffersAreFilledAndSeedsTakenWhole)
{
    const CK_SESSION_HANDLE h = Open(kRW);
    // Above 1 MiB: more than one chunk of the generator.
    const size_t nLen = (1u << 20) + 37;
    std::vector<CK_BYTE> vtrSeed(nLen, 0x5C);
    EXPECT_EQ(p11->C_SeedRandom(h, vtrSeed.data(), vtrSeed.size()), CKR_OK);

    std::vector<CK_BYTE> vtrA(nLen, 0);
    std::vector<CK_BYTE> vtrB(nLen, 0);
    ASSERT_EQ(p11->C_GenerateRandom(h, vtrA.data(), vtrA.size()), CKR_OK);
    ASSERT_EQ(p11->C_GenerateRandom(h, vtrB.data(), vtrB.size()), CKR_OK);
    EXPECT_NE(vtrA, vtrB);
    // Every 64 KiB stretch, the last bytes included, was written.
    for (size_t nAt = 0; nAt < nLen; nAt += 1u << 16) {
        const size_t nEnd = std::min(nLen, nAt + (1u << 16));
        SCOPED_TRACE(nAt);
        EXPECT_TRUE(std::any_of(vtrA.begin() + nAt, vtrA.begin() + nEnd, [](CK_BYTE b) { return b != 0; }));
    }
    EXPECT_TRUE(std::any_of(vtrA.end() - 16, vtrA.end(), [](CK_BYTE b) { return b != 0; }));
}

}  // namespace
