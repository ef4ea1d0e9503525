#include <climits>
#include <functional>

#include <gtest/gtest.h>

#include "core/crypto/Cipher.h"
#include "CipherTestTools.h"

namespace {
class RandomTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Cipher::CipherInitialize(), 0u); }
    void TearDown() override { Cipher::CipherUninitialize(); }
};

using Generator = std::function<RESULT(uint8_t*, long)>;

const struct {
    const char* pszName;
    Generator fnGenerate;
} kGenerators[] = {
    {"GetRandomData", Cipher::GetRandomData},
    {"GenRandomDataByTimeSeed", Cipher::GenRandomDataByTimeSeed},
};

TEST_F(RandomTest, FillsTheWholeBufferWithFreshBytes)
{
    for (const auto& g : kGenerators) {
        SCOPED_TRACE(g.pszName);
        // A guard byte past the request must stay untouched.
        Bytes vtrFirst(33, 0);
        Bytes vtrSecond(33, 0);
        ASSERT_EQ(g.fnGenerate(vtrFirst.data(), 32), 0u);
        ASSERT_EQ(g.fnGenerate(vtrSecond.data(), 32), 0u);
        EXPECT_NE(vtrFirst, vtrSecond);
        EXPECT_NE(Bytes(vtrFirst.begin(), vtrFirst.begin() + 32), Bytes(32, 0));
        EXPECT_EQ(vtrFirst[32], 0);
        EXPECT_EQ(vtrSecond[32], 0);
    }
}

TEST_F(RandomTest, SeedingMixesIntoAWorkingPool)
{
    const Bytes vtrSeed = BytesOf("application supplied seed");
    EXPECT_EQ(Cipher::SetRandomSeed(vtrSeed.data(), static_cast<long>(vtrSeed.size())), 0u);
    Bytes vtrOut(16, 0);
    EXPECT_EQ(Cipher::GetRandomData(vtrOut.data(), 16), 0u);
    EXPECT_NE(vtrOut, Bytes(16, 0));
}

TEST_F(RandomTest, BadRequestsAreRefused)
{
    uint8_t byBuffer[8] = {0};
    const struct {
        uint8_t* pbyBuffer;
        long nLen;
    } cases[] = {
        {nullptr, 8},
        {byBuffer, 0},
        {byBuffer, -1},
        {byBuffer, static_cast<long>(INT_MAX) + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nLen);
        for (const auto& g : kGenerators) {
            SCOPED_TRACE(g.pszName);
            EXPECT_EQ(g.fnGenerate(c.pbyBuffer, c.nLen), ERROR_INVALID_PARAMETER);
        }
        EXPECT_EQ(Cipher::SetRandomSeed(c.pbyBuffer, c.nLen), ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(Bytes(byBuffer, byBuffer + 8), Bytes(8, 0));
}
}  // namespace
