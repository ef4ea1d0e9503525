#include "module/cryptoki/ResultWidening.h"

#include <gtest/gtest.h>

namespace {

TEST(ResultWideningTest, CoreCodesAreSignExtended)
{
    struct Case {
        RESULT ulCore;
        CK_RV rvExpected;
    };
    const Case cases[] = {
        {0, CKR_OK},
        {CKR_ARGUMENTS_BAD, 0x7},
        {CKR_PIN_INCORRECT, 0xA0},
        {ERROR_INVALID_PARAMETER, 0x57},
        {0x7FFFFFFF, 0x7FFFFFFF},
        {E_FAIL, 0xFFFFFFFF80000008},
        {NTE_BAD_DATA, 0xFFFFFFFF80090005},
        {NTE_FAIL, 0xFFFFFFFF80090020},
        {ASN1_E_RECURSION, 0xFFFFFFFFA0071102},
        {0xFFFFFFFF, 0xFFFFFFFFFFFFFFFF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WidenResult(c.ulCore), c.rvExpected) << std::hex << c.ulCore;
    }
}

}  // namespace
