// The mechanism list through the loaded module.
#include <cstring>
#include <vector>

#include "SlotsFixture.h"
#include "core/token/VendorDefines.h"

namespace {

using MechanismTest = SlotsFixture;

const std::vector<CK_MECHANISM_TYPE> kMechanisms = {
    0x0,    0x1,    0x5,    0x6,    0x40,   0x41,   0x42,    0x110,   0x111,   0x120,   0x121,
    0x122,  0x131,  0x132,  0x133,  0x210,  0x220,  0x250,   0x260,   0x270,   0x1100,  0x1101,
    0x1102, 0x1103, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005, 0x10006, 0x10007, 0x10008, 0x10009,
};

TEST_F(MechanismTest, ListOf33InTableOrder)
{
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    const struct {
        bool bWithBuffer;
        CK_ULONG ulGiven;
        CK_RV rvExpected;
    } kCases[] = {
        {false, 0, CKR_OK},
        {true, 32, CKR_BUFFER_TOO_SMALL},
        {true, 33, CKR_OK},
        {true, 40, CKR_OK},
    };
    for (const auto& stCase : kCases) {
        SCOPED_TRACE(testing::Message() << stCase.bWithBuffer << " " << stCase.ulGiven);
        std::vector<CK_MECHANISM_TYPE> vtrList(40, 0xEE);
        CK_ULONG ulCount = stCase.ulGiven;
        EXPECT_EQ(p11->C_GetMechanismList(1, stCase.bWithBuffer ? vtrList.data() : nullptr, &ulCount),
                  stCase.rvExpected);
        EXPECT_EQ(ulCount, 33u);
        std::vector<CK_MECHANISM_TYPE> vtrExpected(40, 0xEE);
        if (stCase.bWithBuffer && stCase.rvExpected == CKR_OK) {
            std::copy(kMechanisms.begin(), kMechanisms.end(), vtrExpected.begin());
        }
        EXPECT_EQ(vtrList, vtrExpected);
    }
    EXPECT_EQ(p11->C_GetMechanismList(1, nullptr, nullptr), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(kMechanisms[24], CKM_SM2_CRYPT);
    EXPECT_EQ(kMechanisms[32], CKM_SM2_KEY_PAIR_GEN);
}

TEST_F(MechanismTest, MechanismInfoIsNeverGiven)
{
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    for (CK_MECHANISM_TYPE type : {CK_MECHANISM_TYPE{CKM_RSA_PKCS}, CK_MECHANISM_TYPE{CKM_SM3}, CK_MECHANISM_TYPE{0xFFFF}}) {
        CK_MECHANISM_INFO info;
        memset(&info, 0xAB, sizeof(info));
        EXPECT_EQ(p11->C_GetMechanismInfo(1, type, &info), CKR_FUNCTION_FAILED) << type;
        EXPECT_TRUE(AllBytesAre(&info, sizeof(info), 0xAB));
    }
    EXPECT_EQ(p11->C_GetMechanismInfo(1, CKM_RSA_PKCS, nullptr), CKR_FUNCTION_FAILED);
}

}  // namespace
