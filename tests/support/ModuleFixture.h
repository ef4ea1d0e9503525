// Loads the built libtessera.so the way an application does (dlopen, then
// C_GetFunctionList) and gives each test a throwaway HOME, so no test ever
// touches the user's own key set.
#pragma once

#include <string>

#include <gtest/gtest.h>
#include <p11-kit/pkcs11.h>

#include "support/TempHome.h"

class ModuleFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The function list of the loaded module.
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    void* m_hModule = nullptr;
    TempHome m_home;
};
