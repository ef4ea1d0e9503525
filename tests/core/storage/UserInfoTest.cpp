#include <set>
#include <string>

#include <gtest/gtest.h>

#include "core/platform/PlatformOverrides.h"
#include "core/storage/UserInfo.h"
#include "StorageFixture.h"

namespace {

class UserInfoTest : public StorageFixture {};

std::string Take(char* pszBlock)
{
    std::string strText(pszBlock);
    delete[] pszBlock;
    return strText;
}

TEST_F(UserInfoTest, NamesAndHomeFromThePlatform)
{
    _platformOverrides stOverrides;
    stOverrides.strFullUserName = "Zoë Example";
    SetPlatformOverrides(stOverrides);
    char* pszName = nullptr;
    char* pszHome = nullptr;
    ASSERT_EQ(GetUserName(&pszName), 0u);
    ASSERT_EQ(GetHomeDirectory(&pszHome), 0u);
    EXPECT_EQ(Take(pszName), "Zoë Example");
    EXPECT_EQ(Take(pszHome), m_home.Path());
    EXPECT_EQ(GetUserName(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetHomeDirectory(nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(UserInfoTest, FreshGuidOnEveryCall)
{
    std::set<std::string> setSeen;
    for (int i = 0; i < 3; ++i) {
        std::string strGuid = GenerateUniformGUID();
        char* pszGuid = nullptr;
        ASSERT_EQ(CreateGUIDString(&pszGuid), 0u);
        std::string strBlock = Take(pszGuid);
        std::string strAssigned = "old";
        ASSERT_EQ(CreateGUIDStr(strAssigned), 0u);
        for (const std::string& strValue : {strGuid, strBlock, strAssigned}) {
            EXPECT_EQ(strValue.size(), 36u) << strValue;
            EXPECT_TRUE(setSeen.insert(strValue).second) << "repeated " << strValue;
        }
    }
    EXPECT_EQ(CreateGUIDString(nullptr), ERROR_INVALID_PARAMETER);
}

TEST(SwapByteOrderTest, ReversesInPlace)
{
    const struct {
        std::string strIn;
        int nLength;
        std::string strOut;
    } aCases[] = {
        {"", 0, ""},
        {"a", 1, "a"},
        {"ab", 2, "ba"},
        {"abc", 3, "cba"},
        {"abcdef", 6, "fedcba"},
        {"abcdef", 4, "dcbaef"},
        {"ab", -1, "ab"},
    };
    for (const auto& c : aCases) {
        std::string strData = c.strIn;
        EXPECT_EQ(SwapByteOrder(reinterpret_cast<unsigned char*>(strData.data()), c.nLength), 0u);
        EXPECT_EQ(strData, c.strOut) << c.strIn << " / " << c.nLength;
    }
    EXPECT_EQ(SwapByteOrder(nullptr, 4), ERROR_INVALID_PARAMETER);
}

}  // namespace
