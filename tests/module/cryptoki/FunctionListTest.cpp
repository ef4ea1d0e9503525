#include <dlfcn.h>

#include <cstddef>
#include <iterator>

#include <gtest/gtest.h>

#include "support/FunctionNames.h"
#include "support/ModuleFixture.h"

namespace {

using FunctionListTest = ModuleFixture;

TEST_F(FunctionListTest, NullPointerIsAcceptedAndNothingIsWritten)
{
    auto pfn = reinterpret_cast<CK_C_GetFunctionList>(dlsym(m_hModule, "C_GetFunctionList"));
    ASSERT_NE(pfn, nullptr);
    EXPECT_EQ(pfn(nullptr), CKR_OK);
    CK_FUNCTION_LIST_PTR pAgain = nullptr;
    EXPECT_EQ(p11->C_GetFunctionList(&pAgain), CKR_OK);
    EXPECT_EQ(pAgain, p11);
}

TEST_F(FunctionListTest, Version220WithEveryFunctionInStandardOrder)
{
    EXPECT_EQ(p11->version.major, 2);
    EXPECT_EQ(p11->version.minor, 20);
    static_assert(std::size(kPkcs11FunctionNames) == 68);
    static_assert(sizeof(CK_FUNCTION_LIST) == offsetof(CK_FUNCTION_LIST, C_Initialize) + 68 * sizeof(void*));

    // Entry i of the list must be the exported function of the i-th name.
    auto* pEntries = reinterpret_cast<void* const*>(reinterpret_cast<const char*>(p11) +
                                                    offsetof(CK_FUNCTION_LIST, C_Initialize));
    for (size_t i = 0; i < std::size(kPkcs11FunctionNames); ++i) {
        SCOPED_TRACE(kPkcs11FunctionNames[i]);
        void* pExported = dlsym(m_hModule, kPkcs11FunctionNames[i]);
        EXPECT_NE(pEntries[i], nullptr);
        EXPECT_EQ(pEntries[i], pExported);
    }
}

}  // namespace
