#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "core/platform/Platform.h"
#include "core/platform/PlatformOverrides.h"
#include "support/TempHome.h"

namespace {

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override { m_home.Enter(); }
    void TearDown() override
    {
        ResetPlatformOverrides();
        m_home.Leave();
    }

    std::string WriteScratch(const std::string& strName, const std::string& strContent)
    {
        std::string strPath = m_home.Path() + "/" + strName;
        std::ofstream(strPath, std::ios::binary) << strContent;
        return strPath;
    }

    static const passwd* OwnEntry() { return getpwuid(geteuid()); }

    TempHome m_home;
};

std::string Home()
{
    std::string strHome;
    EXPECT_EQ(PlatformGetHomeDirectory(strHome), 0u);
    return strHome;
}

std::string Data()
{
    std::string strData;
    EXPECT_EQ(PlatformGetDataDirectory(strData), 0u);
    return strData;
}

TEST_F(PlatformTest, HomeFollowsEnvironmentOnEveryCall)
{
    EXPECT_EQ(Home(), m_home.Path());
    setenv("HOME", "/elsewhere/home", 1);
    EXPECT_EQ(Home(), "/elsewhere/home");
    ASSERT_NE(OwnEntry(), nullptr);
    for (bool bUnset : {true, false}) {
        if (bUnset) unsetenv("HOME"); else setenv("HOME", "", 1);
        EXPECT_EQ(Home(), OwnEntry()->pw_dir) << (bUnset ? "unset" : "empty") << " HOME uses passwd";
    }
}

TEST_F(PlatformTest, DataFolderFromXdgOrHome)
{
    const struct {
        const char* pszXdg;  // null: unset
        std::string strExpected;
    } aCases[] = {
        {nullptr, m_home.Path() + "/.local/share"},
        {"", m_home.Path() + "/.local/share"},
        {"relative/data", m_home.Path() + "/.local/share"},
        {"/srv/data", "/srv/data"},
    };
    for (const auto& c : aCases) {
        if (c.pszXdg) setenv("XDG_DATA_HOME", c.pszXdg, 1); else unsetenv("XDG_DATA_HOME");
        EXPECT_EQ(Data(), c.strExpected) << (c.pszXdg ? c.pszXdg : "(unset)");
    }
}

TEST_F(PlatformTest, LoginAndFullNameFromPasswd)
{
    const passwd* pEntry = OwnEntry();
    ASSERT_NE(pEntry, nullptr);
    std::string strLogin, strFull;
    ASSERT_EQ(PlatformGetLoginName(strLogin), 0u);
    EXPECT_EQ(strLogin, pEntry->pw_name);
    ASSERT_EQ(PlatformGetFullUserName(strFull), 0u);
    EXPECT_EQ(strFull, PlatformFullNameFromGecos(pEntry->pw_gecos, strLogin));
}

TEST(PlatformGecosTest, FirstCommaFieldElseLogin)
{
    const struct {
        const char* pszGecos;
        const char* pszExpected;
    } aCases[] = {
        {"Jane Doe,Room 4,555-1234,", "Jane Doe"},
        {"Jane Doe", "Jane Doe"},
        {"Zoë Łukasz", "Zoë Łukasz"},
        {"", "jdoe"},
        {",Room 4", "jdoe"},
        {nullptr, "jdoe"},
    };
    for (const auto& c : aCases) {
        EXPECT_EQ(PlatformFullNameFromGecos(c.pszGecos, "jdoe"), c.pszExpected)
            << (c.pszGecos ? c.pszGecos : "(null)");
    }
}

TEST_F(PlatformTest, MachineIdFromFirstFileWithAnId)
{
    std::string strGood = WriteScratch("id-good", "  0123456789abcdef0123456789abcdef\n");
    std::string strOther = WriteScratch("id-other", "fedcba9876543210fedcba9876543210\n");
    std::string strBlank = WriteScratch("id-blank", " \n\t\n");
    std::string strMissing = m_home.Path() + "/id-missing";
    const struct {
        const char* pszCase;
        std::initializer_list<const char*> lstPaths;
        const char* pszExpected;
    } aCases[] = {
        {"first file trimmed", {strGood.c_str(), strOther.c_str()}, "0123456789abcdef0123456789abcdef"},
        {"missing first falls back", {strMissing.c_str(), strOther.c_str()}, "fedcba9876543210fedcba9876543210"},
        {"blank first falls back", {strBlank.c_str(), strGood.c_str()}, "0123456789abcdef0123456789abcdef"},
        {"none readable", {strMissing.c_str(), strBlank.c_str()}, ""},
    };
    for (const auto& c : aCases) {
        EXPECT_EQ(PlatformReadFirstMachineId(c.lstPaths), c.pszExpected) << c.pszCase;
    }
}

// Tests run as another home, account or machine through the overrides,
// and get the real values back after the reset.
TEST_F(PlatformTest, OverridesReplaceAndResetRestores)
{
    _platformOverrides stOverrides;
    stOverrides.strHomeDirectory = "/other/home";
    stOverrides.strLoginName = "other";
    stOverrides.strFullUserName = "Other Person";
    stOverrides.strPlatformUUID = "machine-two";
    stOverrides.strSerialNumber = "SN2";
    SetPlatformOverrides(stOverrides);

    std::string strLogin, strFull;
    _machineIdentity stIdentity;
    PlatformGetMachineIdentity(stIdentity);
    ASSERT_EQ(PlatformGetLoginName(strLogin), 0u);
    ASSERT_EQ(PlatformGetFullUserName(strFull), 0u);
    EXPECT_EQ(Home(), "/other/home");
    EXPECT_EQ(Data(), "/other/home/.local/share") << "data folder follows the substituted home";
    EXPECT_EQ(strLogin, "other");
    EXPECT_EQ(strFull, "Other Person");
    EXPECT_EQ(stIdentity.strPlatformUUID, "machine-two");
    EXPECT_EQ(stIdentity.strSerialNumber, "SN2");

    stOverrides = _platformOverrides();
    stOverrides.strDataDirectory = "/other/data";
    SetPlatformOverrides(stOverrides);
    EXPECT_EQ(Data(), "/other/data");
    EXPECT_EQ(Home(), m_home.Path());

    ResetPlatformOverrides();
    PlatformGetMachineIdentity(stIdentity);
    ASSERT_EQ(PlatformGetLoginName(strLogin), 0u);
    EXPECT_EQ(Data(), m_home.Path() + "/.local/share");
    EXPECT_EQ(strLogin, OwnEntry()->pw_name);
    EXPECT_EQ(stIdentity.strPlatformUUID,
              PlatformReadFirstMachineId({"/etc/machine-id", "/var/lib/dbus/machine-id"}));
    EXPECT_EQ(stIdentity.strSerialNumber, "") << "Linux offers no serial part";
}

// 8-4-4-4-12 lower-case hex digits, as uuid_unparse writes them.
bool IsCanonicalUUID(const std::string& strText)
{
    if (strText.size() != 36) return false;
    for (size_t i = 0; i < strText.size(); ++i) {
        bool bHyphen = i == 8 || i == 13 || i == 18 || i == 23;
        char ch = strText[i];
        if (bHyphen ? ch != '-' : !((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'))) return false;
    }
    return true;
}

TEST(PlatformUUIDTest, FreshCanonicalText)
{
    std::string strFirst, strSecond;
    ASSERT_EQ(PlatformGenerateUUID(strFirst), 0u);
    ASSERT_EQ(PlatformGenerateUUID(strSecond), 0u);
    EXPECT_TRUE(IsCanonicalUUID(strFirst)) << strFirst;
    EXPECT_TRUE(IsCanonicalUUID(strSecond)) << strSecond;
    EXPECT_NE(strFirst, strSecond);
}

}  // namespace
