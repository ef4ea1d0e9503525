// A host may already have loaded, with global symbols, another library that
// exports C_ names (libp11-kit exports C_GetFunctionList; many programs link
// it through GnuTLS). The module's function list must still lead to the
// module's own functions.
#include <dlfcn.h>

#include <cstddef>
#include <iterator>

#include <gtest/gtest.h>
#include <p11-kit/pkcs11.h>

#include "support/FunctionNames.h"

namespace {

TEST(InterpositionTest, FunctionListIgnoresEqualNamesLoadedBeforeTheModule)
{
    void* hOther = dlopen("libp11-kit.so.0", RTLD_NOW | RTLD_GLOBAL);
    if (hOther == nullptr) {
        GTEST_SKIP() << "libp11-kit.so.0 not available: " << dlerror();
    }
    ASSERT_NE(dlsym(hOther, "C_GetFunctionList"), nullptr);

    void* hModule = dlopen(TESSERA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(hModule, nullptr) << dlerror();
    auto pfnGet = reinterpret_cast<CK_C_GetFunctionList>(dlsym(hModule, "C_GetFunctionList"));
    ASSERT_NE(pfnGet, nullptr);
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    ASSERT_EQ(pfnGet(&p11), CKR_OK);

    Dl_info module{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(pfnGet), &module), 0);
    auto* pEntries = reinterpret_cast<void* const*>(reinterpret_cast<const char*>(p11) +
                                                    offsetof(CK_FUNCTION_LIST, C_Initialize));
    for (size_t i = 0; i < std::size(kPkcs11FunctionNames); ++i) {
        Dl_info entry{};
        ASSERT_NE(dladdr(pEntries[i], &entry), 0) << kPkcs11FunctionNames[i];
        EXPECT_EQ(entry.dli_fbase, module.dli_fbase) << kPkcs11FunctionNames[i] << " leads into " << entry.dli_fname;
    }
    CK_FUNCTION_LIST_PTR pAgain = nullptr;
    EXPECT_EQ(p11->C_GetFunctionList(&pAgain), CKR_OK);
    EXPECT_EQ(pAgain, p11);
}

}  // namespace
