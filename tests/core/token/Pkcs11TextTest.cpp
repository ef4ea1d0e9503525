#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/token/Pkcs11Text.h"

namespace {

TEST(Pkcs11TextTest, BlankPaddedWithoutTerminatorOrRefusedUntouched)
{
    const struct {
        int nWidth;
        const char* pszText;
        bool bExpected;
        std::string strField;  // the 8 bytes of the field afterwards
    } cases[] = {
        {8, "QYRA", true, "QYRA    "},
        {8, "", true, "        "},
        {8, "12345678", true, "12345678"},
        {8, "123456789", false, "########"},
        {0, "QYRA", false, "########"},
        {-1, "QYRA", false, "########"},
        {8, nullptr, false, "########"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pszText ? c.pszText : "(null)") + " / " + std::to_string(c.nWidth));
        unsigned char byField[9];
        memset(byField, '#', sizeof(byField));
        EXPECT_EQ(SetPkcs11UTF8Char(byField, c.nWidth, c.pszText), c.bExpected);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(byField), 8), c.strField);
        EXPECT_EQ(byField[8], '#') << "nothing written past the field";
    }
    EXPECT_FALSE(SetPkcs11UTF8Char(nullptr, 8, "QYRA"));

    unsigned char byMaker[32];
    ASSERT_TRUE(SetPkcs11UTF8Char(byMaker, 32, "QYRA Co., Ltd"));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(byMaker), 32),
              "QYRA Co., Ltd" + std::string(19, ' '));
}

}  // namespace
