#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <pwd.h>

#include "core/storage/StoragePath.h"
#include "StorageFixture.h"

namespace {

class StoragePathTest : public StorageFixture {};

// Takes over a block handed out by a path function.
std::string Take(char* pszBlock)
{
    std::string strText(pszBlock);
    delete[] pszBlock;
    return strText;
}

struct PathResult {
    RESULT ulResult;
    std::string strPath;
};

PathResult KeySetPath()
{
    char* pszPath = nullptr;
    RESULT ulResult = GetRealKeySetPath(&pszPath);
    return {ulResult, ulResult == 0 ? Take(pszPath) : std::string()};
}

PathResult TokenPath(const char* pszName)
{
    char* pszPath = nullptr;
    RESULT ulResult = GetRealTokenPath(pszName, &pszPath);
    if (ulResult != 0) {
        EXPECT_EQ(pszPath, nullptr);
    }
    return {ulResult, ulResult == 0 ? Take(pszPath) : std::string()};
}

PathResult Apply(RESULT (*pfn)(const char*, char**), const char* pszIn)
{
    char* pszOut = nullptr;
    RESULT ulResult = pfn(pszIn, &pszOut);
    return {ulResult, ulResult == 0 ? Take(pszOut) : std::string()};
}

TEST_F(StoragePathTest, KeySetAndTokenFoldersUnderDataFolder)
{
    EXPECT_EQ(KeySetPath().strPath, m_home.BaseFolder() + "//KeySet_Velmoray");
    EXPECT_EQ(TokenPath("QYRAPkcs11DefaultKey").strPath,
              m_home.BaseFolder() + "//KeySet_Velmoray/QYRAPkcs11DefaultKey/");

    setenv("XDG_DATA_HOME", "/srv/data", 1);
    EXPECT_EQ(KeySetPath().strPath, "/srv/data/QYRA/PKCS11//KeySet_Velmoray");
    EXPECT_EQ(TokenPath("T").strPath, "/srv/data/QYRA/PKCS11//KeySet_Velmoray/T/");
}

TEST_F(StoragePathTest, NonAsciiHomeGivesWholeUtf8Paths)
{
    const std::string strHome = m_home.Path() + "/Zoë-用户";
    setenv("HOME", strHome.c_str(), 1);
    EXPECT_EQ(Apply(GetRealPath, "~/a").strPath, strHome + "/a");
    EXPECT_EQ(KeySetPath().strPath, strHome + "/.local/share/QYRA/PKCS11//KeySet_Velmoray");
    EXPECT_EQ(TokenPath("Tök").strPath, strHome + "/.local/share/QYRA/PKCS11//KeySet_Velmoray/Tök/");
}

// A long HOME must never be cut into another path: whatever would not fit
// the 260-byte buffers is refused, and the longest accepted path is 259.
TEST_F(StoragePathTest, PathsBeyond259BytesRefused)
{
    // Key set path = home + 42 bytes, token path of "T" = home + 45 bytes.
    const struct {
        size_t nHomeLength;
        RESULT ulKeySet;
        RESULT ulToken;
    } aCases[] = {
        {214, 0, 0},
        {215, 0, E_FAIL},
        {217, 0, E_FAIL},
        {218, E_FAIL, E_FAIL},
        {600, E_FAIL, E_FAIL},
    };
    for (const auto& c : aCases) {
        std::string strHome = "/" + std::string(c.nHomeLength - 1, 'h');
        setenv("HOME", strHome.c_str(), 1);
        PathResult stKeySet = KeySetPath();
        PathResult stToken = TokenPath("T");
        EXPECT_EQ(stKeySet.ulResult, c.ulKeySet) << "home of " << c.nHomeLength;
        EXPECT_EQ(stToken.ulResult, c.ulToken) << "home of " << c.nHomeLength;
        EXPECT_LE(stKeySet.strPath.size(), 259u);
        EXPECT_LE(stToken.strPath.size(), 259u);
    }
    setenv("HOME", ("/" + std::string(216, 'h')).c_str(), 1);
    EXPECT_EQ(KeySetPath().strPath.size(), 259u);
    setenv("HOME", ("/" + std::string(213, 'h')).c_str(), 1);
    EXPECT_EQ(TokenPath("T").strPath.size(), 259u);

    EXPECT_EQ(Apply(GetRealPath, ("/" + std::string(258, 'p')).c_str()).ulResult, 0u);
    EXPECT_EQ(Apply(GetRealPath, ("/" + std::string(259, 'p')).c_str()).ulResult, E_FAIL);
}

TEST_F(StoragePathTest, BadArgumentsRefused)
{
    for (const char* pszName : {static_cast<const char*>(nullptr), "", "a/b", ".", "..", "../x"}) {
        EXPECT_EQ(TokenPath(pszName).ulResult, ERROR_INVALID_PARAMETER) << (pszName ? pszName : "(null)");
    }
    EXPECT_EQ(GetRealKeySetPath(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetRealTokenPath("T", nullptr), ERROR_INVALID_PARAMETER);
    for (auto pfn : {GetRealPath, PathFindFileName, GetDirectoryFromFilePath}) {
        EXPECT_EQ(Apply(pfn, nullptr).ulResult, ERROR_INVALID_PARAMETER);
        EXPECT_EQ(pfn("/a/b", nullptr), ERROR_INVALID_PARAMETER);
    }
}

TEST_F(StoragePathTest, TildeExpansion)
{
    const std::string strHome = m_home.Path();
    const passwd* pRoot = getpwnam("root");
    ASSERT_NE(pRoot, nullptr);
    const std::string strRootHome = pRoot->pw_dir;
    const struct {
        const char* pszIn;
        std::string strExpected;
    } aCases[] = {
        {"~", strHome},
        {"~/", strHome + "/"},
        {"~/a/b", strHome + "/a/b"},
        {"/abs/a", "/abs/a"},
        {"rel/a", "rel/a"},
        {"a/~/b", "a/~/b"},
        {"~root/x", strRootHome + "/x"},
        {"~no-such-account-here/x", "~no-such-account-here/x"},
    };
    for (const auto& c : aCases) {
        PathResult stResult = Apply(GetRealPath, c.pszIn);
        ASSERT_EQ(stResult.ulResult, 0u) << c.pszIn;
        EXPECT_EQ(stResult.strPath, c.strExpected) << c.pszIn;
    }
    setenv("HOME", (strHome + "/").c_str(), 1);
    EXPECT_EQ(Apply(GetRealPath, "~/a").strPath, strHome + "/a") << "no doubled slash after the home";
}

TEST_F(StoragePathTest, SplittingPaths)
{
    const std::string strHome = m_home.Path();
    const struct {
        const char* pszPath;
        RESULT ulName;
        const char* pszName;
        RESULT ulFolder;
        std::string strFolder;
    } aCases[] = {
        {"/a/b/c", 0, "c", 0, "/a/b"},
        {"/a/b/", 0, "b", 0, "/a"},
        {"/a//b", 0, "b", 0, "/a"},
        {"/a", 0, "a", 0, "/"},
        {"a/b", 0, "b", 0, "a"},
        {"/", 0, "/", 0, "/"},
        {"~/x/.config", 0, ".config", 0, strHome + "/x"},
        {"b", 0, "b", E_FAIL, ""},
        {"", E_FAIL, "", E_FAIL, ""},
    };
    for (const auto& c : aCases) {
        PathResult stName = Apply(PathFindFileName, c.pszPath);
        PathResult stFolder = Apply(GetDirectoryFromFilePath, c.pszPath);
        EXPECT_EQ(stName.ulResult, c.ulName) << c.pszPath;
        EXPECT_EQ(stName.strPath, c.pszName) << c.pszPath;
        EXPECT_EQ(stFolder.ulResult, c.ulFolder) << c.pszPath;
        EXPECT_EQ(stFolder.strPath, c.strFolder) << c.pszPath;
    }
}

}  // namespace
