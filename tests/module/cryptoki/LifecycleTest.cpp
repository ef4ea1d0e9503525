#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ModuleFixture.h"

namespace {

using LifecycleTest = ModuleFixture;

CK_RV DummyCreate(CK_VOID_PTR_PTR) { return CKR_OK; }
CK_RV DummyMutex(CK_VOID_PTR) { return CKR_OK; }

TEST_F(LifecycleTest, InitializeArguments)
{
    struct Case {
        const char* pszWhat;
        CK_C_INITIALIZE_ARGS args;
        CK_RV rvExpected;
    };
    int nReserved = 0;
    const std::vector<Case> cases = {
        {"no callbacks, no flags", {nullptr, nullptr, nullptr, nullptr, 0, nullptr}, CKR_OK},
        {"OS locking", {nullptr, nullptr, nullptr, nullptr, CKF_OS_LOCKING_OK, nullptr}, CKR_OK},
        {"all four callbacks", {DummyCreate, DummyMutex, DummyMutex, DummyMutex, 0, nullptr}, CKR_OK},
        {"all four callbacks and OS locking",
         {DummyCreate, DummyMutex, DummyMutex, DummyMutex, CKF_OS_LOCKING_OK, nullptr}, CKR_OK},
        {"only create", {DummyCreate, nullptr, nullptr, nullptr, CKF_OS_LOCKING_OK, nullptr}, CKR_ARGUMENTS_BAD},
        {"unlock missing", {DummyCreate, DummyMutex, DummyMutex, nullptr, 0, nullptr}, CKR_ARGUMENTS_BAD},
        {"pReserved set", {nullptr, nullptr, nullptr, nullptr, CKF_OS_LOCKING_OK, &nReserved}, CKR_ARGUMENTS_BAD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        CK_C_INITIALIZE_ARGS args = c.args;
        EXPECT_EQ(p11->C_Initialize(&args), c.rvExpected);
        // A refused call leaves the module uninitialised.
        EXPECT_EQ(p11->C_Finalize(nullptr), c.rvExpected == CKR_OK ? CKR_OK : CKR_CRYPTOKI_NOT_INITIALIZED);
    }
}

TEST_F(LifecycleTest, SecondInitializeIsRefusedAndLeavesTheFirstIntact)
{
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    EXPECT_EQ(p11->C_Initialize(nullptr), CKR_CRYPTOKI_ALREADY_INITIALIZED);
    CK_C_INITIALIZE_ARGS args = {nullptr, nullptr, nullptr, nullptr, CKF_OS_LOCKING_OK, nullptr};
    EXPECT_EQ(p11->C_Initialize(&args), CKR_CRYPTOKI_ALREADY_INITIALIZED);
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK);
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);
}

TEST_F(LifecycleTest, FinalizeChecksItsArgumentAndTheState)
{
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    int nReserved = 0;
    EXPECT_EQ(p11->C_Finalize(&nReserved), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK) << "a refused finalize must not uninitialise";
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);
    // The module can be started again.
    EXPECT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK);
}

TEST_F(LifecycleTest, InfoFieldsAreExactAtAnyTime)
{
    auto expectInfo = [&] {
        CK_INFO info;
        memset(&info, 0xAA, sizeof(info));
        ASSERT_EQ(p11->C_GetInfo(&info), CKR_OK);
        EXPECT_EQ(info.cryptokiVersion.major, 2);
        EXPECT_EQ(info.cryptokiVersion.minor, 20);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(info.manufacturerID), sizeof(info.manufacturerID)),
                  "QYRA Co., Ltd" + std::string(19, ' '));
        EXPECT_EQ(info.flags, 0u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(info.libraryDescription), sizeof(info.libraryDescription)),
                  "Velmoray PKCS#11 Dylib v3.2.0.1 ");
        EXPECT_EQ(info.libraryVersion.major, 3);
        EXPECT_EQ(info.libraryVersion.minor, 1);
    };
    {
        SCOPED_TRACE("before C_Initialize");
        expectInfo();
    }
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    {
        SCOPED_TRACE("initialised");
        expectInfo();
    }
    ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
    {
        SCOPED_TRACE("after C_Finalize");
        expectInfo();
    }
    EXPECT_EQ(p11->C_GetInfo(nullptr), CKR_ARGUMENTS_BAD);
}

}  // namespace
