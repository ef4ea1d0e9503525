#include "support/ModuleFixture.h"

#include <dlfcn.h>

void ModuleFixture::SetUp()
{
    m_home.Enter();
    m_hModule = dlopen(TESSERA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_hModule, nullptr) << dlerror();
    auto pfn = reinterpret_cast<CK_C_GetFunctionList>(dlsym(m_hModule, "C_GetFunctionList"));
    ASSERT_NE(pfn, nullptr);
    ASSERT_EQ(pfn(&p11), CKR_OK);
    ASSERT_NE(p11, nullptr);
}

void ModuleFixture::TearDown()
{
    if (p11 != nullptr) {
        // Leave the module uninitialised for the next test in this process.
        p11->C_Finalize(nullptr);
    }
    // The module stays loaded: unloading a library that registered with
    // OpenSSL or log4cplus at-exit handlers is not worth the risk here.
    m_home.Leave();
}
