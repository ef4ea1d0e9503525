// Hosts that passed CKF_OS_LOCKING_OK call the module from many threads at
// once, C_Initialize and C_Finalize included.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/ModuleFixture.h"

namespace {

using ConcurrencyTest = ModuleFixture;

TEST_F(ConcurrencyTest, ThreadsRacingThroughTheLifecycleSeeOneConsistentState)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 2000;
    std::atomic<int> nInits{0};
    std::atomic<int> nFinals{0};
    std::atomic<int> nWrong{0};
    const std::string strManufacturer = "QYRA Co., Ltd" + std::string(19, ' ');

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CK_C_INITIALIZE_ARGS args = {nullptr, nullptr, nullptr, nullptr, CKF_OS_LOCKING_OK, nullptr};
            for (int r = 0; r < kRounds; ++r) {
                CK_RV rv = CKR_OK;
                switch ((t + r) % 4) {
                case 0:
                    rv = p11->C_Initialize(&args);
                    if (rv == CKR_OK) ++nInits;
                    else if (rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) ++nWrong;
                    break;
                case 1:
                    rv = p11->C_Finalize(nullptr);
                    if (rv == CKR_OK) ++nFinals;
                    else if (rv != CKR_CRYPTOKI_NOT_INITIALIZED) ++nWrong;
                    break;
                case 2: {
                    CK_INFO info;
                    memset(&info, 0, sizeof(info));
                    if (p11->C_GetInfo(&info) != CKR_OK ||
                        std::string(reinterpret_cast<char*>(info.manufacturerID), 32) != strManufacturer) {
                        ++nWrong;
                    }
                    break;
                }
                default:
                    if (p11->C_DigestKey(1, 2) != CKR_FUNCTION_NOT_SUPPORTED ||
                        p11->C_WaitForSlotEvent(0, nullptr, nullptr) != CKR_FUNCTION_FAILED) {
                        ++nWrong;
                    }
                    break;
                }
            }
        });
    }
    for (std::thread& th : threads) th.join();

    EXPECT_EQ(nWrong.load(), 0);
    EXPECT_GT(nInits.load(), 0);
    // Every successful C_Finalize ended exactly one successful C_Initialize.
    int nOpen = nInits.load() - nFinals.load();
    ASSERT_TRUE(nOpen == 0 || nOpen == 1) << nInits.load() << " inits, " << nFinals.load() << " finals";
    EXPECT_EQ(p11->C_Finalize(nullptr), nOpen == 1 ? CKR_OK : CKR_CRYPTOKI_NOT_INITIALIZED);
}

}  // namespace
