#include <vector>

#include <gtest/gtest.h>

#include "core/crypto/Cipher.h"
#include "core/storage/Container.h"

namespace {

TEST(ContainerRandomTest, RefusesNullAndEmpty)
{
    unsigned char by[4] = {0};
    EXPECT_EQ(Container::GetRandomData(nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Container::GetRandomData(by, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Container::SetRandomSeed(nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Container::SetRandomSeed(by, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Container::GenRandomDataByTimeSeed(nullptr, 4), ERROR_INVALID_PARAMETER);
}

// A request larger than one chunk of the generator is filled to its end,
// and a seed of that size is taken whole.
TEST(ContainerRandomTest, FillsPastOneChunk)
{
    ASSERT_EQ(Cipher::CipherInitialize(), 0u);
    const size_t nSize = (1u << 20) + 64;
    std::vector<unsigned char> vtrData(nSize, 0);
    ASSERT_EQ(Container::SetRandomSeed(vtrData.data(), nSize), 0u);
    ASSERT_EQ(Container::GetRandomData(vtrData.data(), nSize), 0u);
    int nNonZero = 0;
    for (size_t i = nSize - 64; i < nSize; ++i) {
        nNonZero += vtrData[i] != 0;
    }
    // 64 random bytes are all zero with probability 2^-512.
    EXPECT_GT(nNonZero, 0);
    EXPECT_EQ(Container::GenRandomDataByTimeSeed(vtrData.data(), nSize), 0u);
    Cipher::CipherUninitialize();
}

}  // namespace
