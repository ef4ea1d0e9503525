#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "core/storage/FileSimple.h"
#include "StorageFixture.h"

namespace fs = std::filesystem;

namespace {

class FileSimpleTest : public StorageFixture {
protected:
    void TearDown() override
    {
        SetWriteFileSimpleHook(nullptr);
        StorageFixture::TearDown();
    }
};

std::string Pattern(size_t nSize, int nSeed)
{
    std::string strData(nSize, '\0');
    for (size_t i = 0; i < nSize; ++i) strData[i] = static_cast<char>((i * 131 + nSeed) & 0xFF);
    return strData;
}

RESULT Write(const std::string& strPath, const std::string& strData, bool bTruncate = true)
{
    return WriteFileSimple(strPath.c_str(), reinterpret_cast<const unsigned char*>(strData.data()),
                           static_cast<unsigned int>(strData.size()), bTruncate);
}

TEST_F(FileSimpleTest, ReadWholeFileWithinLimit)
{
    WriteRaw(InScratch("limit"), Pattern(100, 1));
    WriteRaw(InScratch("over"), Pattern(101, 1));
    WriteRaw(InScratch("empty"), "");
    const struct {
        const char* pszCase;
        std::string strPath;
        RESULT ulExpected;
    } aCases[] = {
        {"size equal to the limit", InScratch("limit"), 0},
        {"one byte over the limit", InScratch("over"), E_FAIL},
        {"empty file", InScratch("empty"), ERROR_INVALID_PARAMETER},
        {"missing file", InScratch("missing"), E_FAIL},
        {"a folder", Scratch(), E_FAIL},
    };
    for (const auto& c : aCases) {
        unsigned char* pbyData = nullptr;
        unsigned int nSize = 7;
        EXPECT_EQ(ReadFileSimple(c.strPath.c_str(), 100, &pbyData, &nSize), c.ulExpected) << c.pszCase;
        if (c.ulExpected == 0) {
            ASSERT_EQ(nSize, 100u);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(pbyData), nSize), Pattern(100, 1));
            delete[] pbyData;
        } else {
            EXPECT_EQ(pbyData, nullptr) << c.pszCase;
            EXPECT_EQ(nSize, 7u) << c.pszCase;
        }
    }
    unsigned char* pbyData = nullptr;
    unsigned int nSize = 0;
    EXPECT_EQ(ReadFileSimple(nullptr, 100, &pbyData, &nSize), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ReadFileSimple(InScratch("limit").c_str(), 100, nullptr, &nSize), ERROR_INVALID_PARAMETER);
}

TEST_F(FileSimpleTest, ReplaceLeavesExactlyTheNewBytesOwnerOnly)
{
    const std::string strPath = InScratch(".config");
    WriteRaw(strPath, Pattern(5000, 2));
    chmod(strPath.c_str(), 0740);
    ASSERT_EQ(Write(strPath, "new"), 0u);
    EXPECT_EQ(ReadRaw(strPath), "new");
    EXPECT_EQ(ModeOf(strPath), 0600u);
    EXPECT_EQ(RawNames(Scratch()), std::vector<std::string>{".config"}) << "no temporary file left";

    const std::string strFresh = InScratch("fresh");
    ASSERT_EQ(Write(strFresh, Pattern(70000, 3)), 0u);
    EXPECT_EQ(ReadRaw(strFresh), Pattern(70000, 3));
    EXPECT_EQ(ModeOf(strFresh), 0600u);
}

TEST_F(FileSimpleTest, AppendAddsToTheEnd)
{
    const std::string strPath = InScratch("log");
    ASSERT_EQ(Write(strPath, "ab", false), 0u);
    EXPECT_EQ(ModeOf(strPath), 0600u);
    ASSERT_EQ(Write(strPath, "cd", false), 0u);
    EXPECT_EQ(ReadRaw(strPath), "abcd");
}

// The hook stands for a crash or failure between writing the new content
// and renaming it over the old file.
std::string g_strSeenTemp;
std::string g_strSeenContent;
unsigned g_nSeenMode = 0;

RESULT FailBeforeRename(const char* pszTempPath, const char*)
{
    g_strSeenTemp = pszTempPath;
    g_strSeenContent = StorageFixture::ReadRaw(pszTempPath);
    struct stat st;
    g_nSeenMode = stat(pszTempPath, &st) == 0 ? (st.st_mode & 07777) : 0;
    return CKR_GENERAL_ERROR;
}

TEST_F(FileSimpleTest, FailureBeforeRenameKeepsOldFileWhole)
{
    const std::string strPath = InScratch(".config");
    const std::string strOld = Pattern(4096, 4);
    const std::string strNew = Pattern(9000, 5);
    WriteRaw(strPath, strOld);
    SetWriteFileSimpleHook(FailBeforeRename);

    EXPECT_EQ(Write(strPath, strNew), CKR_GENERAL_ERROR);
    EXPECT_EQ(ReadRaw(strPath), strOld);
    EXPECT_EQ(fs::path(g_strSeenTemp).parent_path(), fs::path(Scratch())) << "temporary file in the same folder";
    EXPECT_EQ(g_strSeenContent, strNew) << "whole new content written before the rename";
    EXPECT_EQ(g_nSeenMode, 0600u);
    EXPECT_EQ(RawNames(Scratch()), std::vector<std::string>{".config"}) << "temporary file removed";
}

TEST_F(FileSimpleTest, DiskFullKeepsOldFileWhole)
{
    const std::string strPath = InScratch("container");
    const std::string strOld = Pattern(200, 6);
    WriteRaw(strPath, strOld);

    // A file size limit makes the write stop short, as a full disk does.
    signal(SIGXFSZ, SIG_IGN);
    rlimit stOld;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &stOld), 0);
    rlimit stSmall = stOld;
    stSmall.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &stSmall), 0);
    RESULT ulReplace = Write(strPath, Pattern(5000, 7));
    RESULT ulAppend = Write(strPath, Pattern(5000, 7), false);
    setrlimit(RLIMIT_FSIZE, &stOld);

    EXPECT_EQ(ulReplace, CKR_GENERAL_ERROR);
    EXPECT_EQ(ulAppend, CKR_GENERAL_ERROR);
    EXPECT_EQ(ReadRaw(strPath).substr(0, 200), strOld);
    EXPECT_EQ(RawNames(Scratch()), std::vector<std::string>{"container"});
}

TEST_F(FileSimpleTest, WriteRefusals)
{
    fs::create_directories(InScratch("folder/inner"));
    const struct {
        const char* pszCase;
        std::string strPath;
        const unsigned char* pbyData;
        unsigned int nSize;
        RESULT ulExpected;
    } aCases[] = {
        {"missing folder", InScratch("nowhere/file"), reinterpret_cast<const unsigned char*>("x"), 1, ENOENT},
        {"a folder in the way", InScratch("folder"), reinterpret_cast<const unsigned char*>("x"), 1, EISDIR},
        {"no file name", InScratch("folder/"), reinterpret_cast<const unsigned char*>("x"), 1,
         ERROR_INVALID_PARAMETER},
        {"null data", InScratch("file"), nullptr, 1, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : aCases) {
        EXPECT_EQ(WriteFileSimple(c.strPath.c_str(), c.pbyData, c.nSize, true), c.ulExpected) << c.pszCase;
    }
    EXPECT_EQ(WriteFileSimple(nullptr, reinterpret_cast<const unsigned char*>("x"), 1, true),
              ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(fs::is_directory(InScratch("folder/inner")));
    std::vector<std::string> vtrNames = RawNames(Scratch());
    EXPECT_EQ(vtrNames, std::vector<std::string>{"folder"}) << "nothing created, no temporary file left";
}

TEST_F(FileSimpleTest, DeleteOneFileNeverAFolder)
{
    WriteRaw(InScratch("file"), "x");
    fs::create_directory(InScratch("folder"));
    fs::create_symlink(InScratch("gone"), InScratch("dangling"));
    const struct {
        const char* pszName;
        RESULT ulExpected;
        bool bRemains;
    } aCases[] = {
        {"file", 0, false},
        {"missing", 0, false},
        {"folder", ERROR_INVALID_PARAMETER, true},
        {"dangling", 0, false},
    };
    for (const auto& c : aCases) {
        EXPECT_EQ(DeleteFile(InScratch(c.pszName).c_str()), c.ulExpected) << c.pszName;
        EXPECT_EQ(fs::symlink_status(InScratch(c.pszName)).type() != fs::file_type::not_found, c.bRemains)
            << c.pszName;
    }
    EXPECT_EQ(DeleteFile(nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(FileSimpleTest, CreateDirectoriesMakesEveryLevelOwnerOnly)
{
    // The token folder of a fresh home: every level from .local down is new.
    const std::string strToken = m_home.BaseFolder() + "//KeySet_Velmoray/T/";
    ASSERT_EQ(CreateDirectories(strToken.c_str()), 0u);
    for (std::string strLevel : {"/.local", "/.local/share", "/.local/share/QYRA", "/.local/share/QYRA/PKCS11",
                                 "/.local/share/QYRA/PKCS11/KeySet_Velmoray",
                                 "/.local/share/QYRA/PKCS11/KeySet_Velmoray/T"}) {
        EXPECT_TRUE(fs::is_directory(m_home.Path() + strLevel)) << strLevel;
        EXPECT_EQ(ModeOf(m_home.Path() + strLevel), 0700u) << strLevel;
    }
    chmod(Scratch().c_str(), 0755);
    ASSERT_EQ(CreateDirectories(InScratch("x/y").c_str()), 0u);
    EXPECT_EQ(ModeOf(Scratch()), 0755u) << "levels that exist keep their mode";
    EXPECT_EQ(ModeOf(InScratch("x/y")), 0700u);

    ASSERT_EQ(CreateDirectories("~/tilde/made"), 0u);
    EXPECT_TRUE(fs::is_directory(m_home.Path() + "/tilde/made"));

    WriteRaw(InScratch("plain"), "x");
    EXPECT_EQ(CreateDirectories(InScratch("plain").c_str()), 0u) << "a file of that name counts as existing";
    EXPECT_TRUE(fs::is_regular_file(InScratch("plain")));
    EXPECT_EQ(CreateDirectories(InScratch("plain/below").c_str()), E_FAIL);
    EXPECT_EQ(CreateDirectories(nullptr), ERROR_INVALID_PARAMETER);
}

std::vector<std::string> NamesOf(const std::vector<_fileInfo>& vtrList)
{
    std::vector<std::string> vtrNames;
    for (const auto& stInfo : vtrList) vtrNames.push_back(stInfo.szFileName);
    return vtrNames;
}

TEST_F(FileSimpleTest, ListingSortedBytewiseWithFolderFlags)
{
    const std::vector<std::string> vtrFiles = {"b", "a", "B", "_x", "a1", ".config", "\xC3\xA9", "Z",
                                               std::string(255, 'n')};
    for (const auto& strName : vtrFiles) WriteRaw(InScratch(strName), "x");
    for (int i = 0; i < 40; ++i) WriteRaw(InScratch("f" + std::to_string(i * 7919 % 1000)), "x");
    fs::create_directory(InScratch("dir"));
    fs::create_directory_symlink(InScratch("dir"), InScratch("link"));

    std::vector<_fileInfo> vtrList(1);
    strcpy(vtrList[0].szFileName, "kept");
    ASSERT_EQ(EnumDirectory(Scratch().c_str(), vtrList), 0u);

    std::vector<std::string> vtrExpected = RawNames(Scratch());
    std::sort(vtrExpected.begin(), vtrExpected.end(),
              [](const std::string& a, const std::string& b) { return strcmp(a.c_str(), b.c_str()) < 0; });
    vtrExpected.insert(vtrExpected.begin(), "kept");
    EXPECT_EQ(NamesOf(vtrList), vtrExpected) << "appended after the existing entry, in byte order";
    for (const auto& stInfo : vtrList) {
        EXPECT_EQ(stInfo.bIsDirectory, std::string(stInfo.szFileName) == "dir")
            << stInfo.szFileName << ": only the real folder is a folder, not the link to it";
    }
}

TEST_F(FileSimpleTest, ListingRefusalsAndEmptyFolder)
{
    fs::create_directory(InScratch("empty"));
    WriteRaw(InScratch("file"), "x");
    const struct {
        const char* pszCase;
        std::string strPath;
        RESULT ulExpected;
    } aCases[] = {
        {"empty folder", InScratch("empty"), 0},
        {"missing folder", InScratch("missing"), E_FAIL},
        {"a file", InScratch("file"), E_FAIL},
    };
    for (const auto& c : aCases) {
        std::vector<_fileInfo> vtrList;
        EXPECT_EQ(EnumDirectory(c.strPath.c_str(), vtrList), c.ulExpected) << c.pszCase;
        EXPECT_TRUE(vtrList.empty()) << c.pszCase;
    }
    std::vector<_fileInfo> vtrList;
    EXPECT_EQ(EnumDirectory(nullptr, vtrList), ERROR_INVALID_PARAMETER);
}

TEST_F(FileSimpleTest, ExistenceTests)
{
    WriteRaw(InScratch("file"), "x");
    fs::create_directory(InScratch("dir"));
    fs::create_directory_symlink(InScratch("dir"), InScratch("link"));
    const struct {
        std::string strPath;
        bool bExists;
        bool bIsDirectory;
    } aCases[] = {
        {InScratch("file"), true, false},
        {InScratch("dir"), true, true},
        {InScratch("link"), true, true},
        {InScratch("missing"), false, false},
        {"~/scratch/dir", true, true},
    };
    for (const auto& c : aCases) {
        bool bIsDirectory = !c.bIsDirectory;
        EXPECT_EQ(IsFileOrDirectoryExist(c.strPath.c_str(), &bIsDirectory), c.bExists) << c.strPath;
        EXPECT_EQ(bIsDirectory, c.bIsDirectory) << c.strPath;
    }
    bool bUntouched = true;
    EXPECT_FALSE(IsFileOrDirectoryExist(nullptr, &bUntouched));
    EXPECT_TRUE(bUntouched);
    EXPECT_TRUE(IsFileOrDirectoryExist(InScratch("file").c_str()));
}

TEST_F(FileSimpleTest, NameFoundBelowFolder)
{
    fs::create_directories(InScratch("tok/sub/deeper"));
    WriteRaw(InScratch("tok/.config"), "x");
    WriteRaw(InScratch("tok/sub/item"), "x");
    fs::create_directory_symlink(InScratch("tok/sub"), InScratch("tok/link"));
    const std::string strTok = InScratch("tok");
    const struct {
        const char* pszName;
        bool bFound;
    } aCases[] = {
        {".config", true},
        {"sub", true},
        {"sub/item", true},
        {"sub/deeper", true},
        {"link", true},
        {"item", false},
        {".c", false},
        {".CONFIG", false},
        {"link/item", false},
        {"sub/../.config", false},
        {"./.config", false},
        {"sub//item", false},
        {"sub/", false},
        {"", false},
    };
    for (const auto& c : aCases) {
        EXPECT_EQ(CheckFileOrDirectoryExistInDirectory(strTok.c_str(), c.pszName), c.bFound) << c.pszName;
    }
    EXPECT_FALSE(CheckFileOrDirectoryExistInDirectory(InScratch("tok/.config").c_str(), "x"));
    EXPECT_FALSE(CheckFileOrDirectoryExistInDirectory(InScratch("none").c_str(), ".config"));
    EXPECT_FALSE(CheckFileOrDirectoryExistInDirectory(nullptr, ".config"));
    EXPECT_FALSE(CheckFileOrDirectoryExistInDirectory(strTok.c_str(), nullptr));
}

}  // namespace
