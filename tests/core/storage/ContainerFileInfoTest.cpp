// Field access to a container: refusals, the reload before access and the
// saving write, also with a second writer and with failures.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ContainerTestTools.h"
#include "core/storage/Container.h"
#include "core/storage/FileSimple.h"

namespace {

const std::string kNul("\0", 1);

class ContainerFileInfoTest : public ContainerFixture {
protected:
    void TearDown() override
    {
        SetWriteFileSimpleHook(nullptr);
        ContainerFixture::TearDown();
    }

    // A saved RSA key container "abc" with a signature private key label.
    void MakeAbc(const std::string& strLabel = "good")
    {
        Container container("T", "abc", false, true, KEY_TYPE_RSA);
        ASSERT_EQ(Write(container, AT_SIGNATURE, strLabel, KEYINFOID_PRIVATEKEY_LABEL, true), 0u);
    }
    // What a fresh object reads from the file now.
    std::string OnDisk(int nKeyUsage, int nType)
    {
        Container container("T", "abc", false, true, 0);
        return container.ParseContainerFile(nullptr) == 0 ? Read(container, nKeyUsage, nType) : "<unreadable>";
    }
};

struct RefusedWrite {
    const char* pszWhat;
    bool bIsDataFile;
    uint64_t uAlgorithm;
    int nType;
    bool bNullData;
    int nDataSize;
    RESULT ulExpected;
};

TEST_F(ContainerFileInfoTest, WritesRefusedBeforeAnythingChanges)
{
    std::vector<RefusedWrite> vtrCases = {
        {"data with size 0", false, KEY_TYPE_RSA, KEYINFOID_PUBLICKEY, false, 0, ERROR_INVALID_PARAMETER},
        {"no data with size 3", false, KEY_TYPE_RSA, KEYINFOID_PUBLICKEY, true, 3, ERROR_INVALID_PARAMETER},
        {"negative size", false, KEY_TYPE_RSA, KEYINFOID_PUBLICKEY, false, -1, ERROR_INVALID_PARAMETER},
        {"algorithm not set", false, 0, KEYINFOID_PUBLICKEY, false, 3, NTE_BAD_ALGID},
        {"algorithm 3", false, 3, KEYINFOID_PUBLICKEY, false, 3, NTE_BAD_ALGID},
        {"key field 0", false, KEY_TYPE_SM2, 0, false, 3, ERROR_NOT_SUPPORTED},
        {"key field 2", false, KEY_TYPE_SM2, 2, false, 3, ERROR_NOT_SUPPORTED},
        {"key field 15", false, KEY_TYPE_SM2, 15, false, 3, ERROR_NOT_SUPPORTED},
        {"data field 0", true, 0, 0, false, 3, ERROR_NOT_SUPPORTED},
        {"data field 6", true, 0, 6, false, 3, ERROR_NOT_SUPPORTED},
        {"data flag of 4 bytes", true, 0, DATAINFOID_FLAG, false, 4, ERROR_INVALID_PARAMETER},
        {"data flag of 16 bytes", true, 0, DATAINFOID_FLAG, false, 16, ERROR_INVALID_PARAMETER},
        {"data flag cleared", true, 0, DATAINFOID_FLAG, true, 0, ERROR_INVALID_PARAMETER},
    };
    // Every number field takes exactly its 4 bytes.
    for (int nType : {KEYINFOID_ALGORITHM, KEYINFOID_PRIVATEKEY_FLAG, KEYINFOID_PUBLICKEY_FLAG,
                      KEYINFOID_CERTIFICATE_FLAG}) {
        vtrCases.push_back({"number of 3 bytes", false, KEY_TYPE_RSA, nType, false, 3, ERROR_INVALID_PARAMETER});
        vtrCases.push_back({"number of 8 bytes", false, KEY_TYPE_RSA, nType, false, 8, ERROR_INVALID_PARAMETER});
        vtrCases.push_back({"number cleared", false, KEY_TYPE_RSA, nType, true, 0, ERROR_INVALID_PARAMETER});
    }
    MakeAbc();
    Container data("T", "data", true, true, 0);
    ASSERT_EQ(Write(data, 0, "v", DATAINFOID_VALUE, true), 0u);
    char* pszDataPath = nullptr;
    ASSERT_EQ(Container::GetContainerPathName("T", "data", &pszDataPath), 0u);
    const std::string strDataPath = pszDataPath;
    delete[] pszDataPath;
    const std::string strKeyFile = ReadRaw(AbcPath());
    const std::string strDataFile = ReadRaw(strDataPath);

    const unsigned char abyData[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (const RefusedWrite& stCase : vtrCases) {
        SCOPED_TRACE(std::string(stCase.pszWhat) + " / field " + std::to_string(stCase.nType));
        Container container("T", stCase.bIsDataFile ? "data" : "abc", stCase.bIsDataFile, true, stCase.uAlgorithm);
        for (bool bFlush : {false, true}) {
            EXPECT_EQ(container.WriteFileInfo(AT_SIGNATURE, stCase.bNullData ? nullptr : abyData, stCase.nDataSize,
                                              stCase.nType, bFlush),
                      stCase.ulExpected);
            EXPECT_TRUE(container.m_bReload);
        }
    }
    EXPECT_EQ(ReadRaw(AbcPath()), strKeyFile);
    EXPECT_EQ(ReadRaw(strDataPath), strDataFile);
}

TEST_F(ContainerFileInfoTest, ReadsRefused)
{
    MakeAbc();
    Container key("T", "abc", false, true, 0);
    unsigned char* pbData = nullptr;
    int nSize = 0;
    EXPECT_EQ(key.ReadFileInfo(AT_SIGNATURE, nullptr, &nSize, KEYINFOID_PUBLICKEY), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key.ReadFileInfo(AT_SIGNATURE, &pbData, nullptr, KEYINFOID_PUBLICKEY), ERROR_INVALID_PARAMETER);
    for (int nType : {0, 2, 15}) {
        EXPECT_EQ(key.ReadFileInfo(AT_SIGNATURE, &pbData, &nSize, nType), ERROR_NOT_SUPPORTED) << nType;
    }
    Container data("T", "data", true, true, 0);
    EXPECT_EQ(data.ReadFileInfo(0, &pbData, &nSize, 6), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(pbData, nullptr);
}

TEST_F(ContainerFileInfoTest, ReloadSeesSavedChangesUntilThisObjectHasUnsavedOnes)
{
    MakeAbc("first");
    Container reader("T", "abc", false, true, 0);
    ASSERT_EQ(reader.ParseContainerFile(nullptr), 0u);
    Container other("T", "abc", false, true, KEY_TYPE_RSA);

    ASSERT_EQ(Write(other, AT_SIGNATURE, "second", KEYINFOID_PRIVATEKEY_LABEL, true), 0u);
    EXPECT_EQ(Read(reader, AT_SIGNATURE, KEYINFOID_PRIVATEKEY_LABEL), "second" + kNul);

    // An unsaved write is what this object reads, though the file is older.
    ASSERT_EQ(Write(reader, AT_SIGNATURE, "mine", KEYINFOID_PRIVATEKEY_LABEL, false), 0u);
    EXPECT_FALSE(reader.m_bReload);
    EXPECT_EQ(Read(reader, AT_SIGNATURE, KEYINFOID_PRIVATEKEY_LABEL), "mine" + kNul);
    EXPECT_EQ(OnDisk(AT_SIGNATURE, KEYINFOID_PRIVATEKEY_LABEL), "second" + kNul);

    // Another save does not reach an object with unsaved changes.
    ASSERT_EQ(Write(other, AT_KEYEXCHANGE, "theirs", KEYINFOID_CERTIFICATE_LABEL, true), 0u);
    EXPECT_EQ(Read(reader, AT_KEYEXCHANGE, KEYINFOID_CERTIFICATE_LABEL), "<untouched>");
}

TEST_F(ContainerFileInfoTest, SessionContainerNeverReachesTheDisk)
{
    Container session("T", "abc", false, false, KEY_TYPE_SM2);
    ASSERT_EQ(Write(session, AT_SIGNATURE, "label", KEYINFOID_PRIVATEKEY_LABEL, false), 0u);
    ASSERT_EQ(Write(session, AT_SIGNATURE, "key", KEYINFOID_PUBLICKEY, true), 0u);
    EXPECT_FALSE(std::filesystem::exists(AbcPath()));
    EXPECT_EQ(Read(session, AT_SIGNATURE, KEYINFOID_PRIVATEKEY_LABEL), "label" + kNul);
    EXPECT_EQ(Read(session, AT_SIGNATURE, KEYINFOID_PUBLICKEY), "key");
}

TEST_F(ContainerFileInfoTest, UpdatesOfTwoProcessesBothSurvive)
{
    MakeAbc();
    Container mine("T", "abc", false, true, 0);
    ASSERT_EQ(mine.ParseContainerFile(nullptr), 0u);
    ASSERT_EQ(Write(mine, AT_SIGNATURE, "my label", KEYINFOID_PRIVATEKEY_LABEL, false), 0u);

    // Another process saves a field of its own meanwhile.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Container theirs("T", "abc", false, true, 0);
        bool bOk = theirs.ParseContainerFile(nullptr) == 0 &&
                   Write(theirs, AT_KEYEXCHANGE, "their key", KEYINFOID_PUBLICKEY, true) == 0;
        _exit(bOk ? 0 : 1);
    }
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);

    ASSERT_EQ(Write(mine, AT_SIGNATURE, "my cert", KEYINFOID_CERTIFICATE, true), 0u);
    EXPECT_EQ(OnDisk(AT_SIGNATURE, KEYINFOID_PRIVATEKEY_LABEL), "my label" + kNul);
    EXPECT_EQ(OnDisk(AT_SIGNATURE, KEYINFOID_CERTIFICATE), "my cert");
    EXPECT_EQ(OnDisk(AT_KEYEXCHANGE, KEYINFOID_PUBLICKEY), "their key");
    EXPECT_EQ(Read(mine, AT_KEYEXCHANGE, KEYINFOID_PUBLICKEY), "their key");
}

// Whether another opener could lock the token folder while the new content
// waits to replace the old, and what the write then returns.
std::string g_strLockedFolder;
int g_nOtherLockErrno = -1;
RESULT g_ulHookResult = 0;

RESULT ProbeLockHook(const char*, const char*)
{
    int fd = open(g_strLockedFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    g_nOtherLockErrno = flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    close(fd);
    return g_ulHookResult;
}

TEST_F(ContainerFileInfoTest, SavingWriteHoldsTheTokenLockAndAFailureKeepsTheOldFile)
{
    MakeAbc();
    g_strLockedFolder = m_strTokenPath;
    g_ulHookResult = 0;
    SetWriteFileSimpleHook(ProbeLockHook);
    Container container("T", "abc", false, true, KEY_TYPE_RSA);
    ASSERT_EQ(Write(container, AT_SIGNATURE, "saved", KEYINFOID_PUBLICKEY_LABEL, true), 0u);
    EXPECT_EQ(g_nOtherLockErrno, EWOULDBLOCK);
    const std::string strSaved = ReadRaw(AbcPath());

    // With nothing unsaved, the failed change is dropped by the next read.
    g_ulHookResult = CKR_GENERAL_ERROR;
    EXPECT_EQ(Write(container, AT_SIGNATURE, "lost", KEYINFOID_PUBLICKEY_LABEL, true), CKR_GENERAL_ERROR);
    EXPECT_EQ(ReadRaw(AbcPath()), strSaved);
    EXPECT_TRUE(container.m_bReload);
    EXPECT_EQ(Read(container, AT_SIGNATURE, KEYINFOID_PUBLICKEY_LABEL), "saved" + kNul);

    // With unsaved changes, they and the failed one wait for the next save.
    ASSERT_EQ(Write(container, AT_SIGNATURE, "unsaved", KEYINFOID_CERTIFICATE_LABEL, false), 0u);
    EXPECT_EQ(Write(container, AT_SIGNATURE, "kept", KEYINFOID_PUBLICKEY_LABEL, true), CKR_GENERAL_ERROR);
    EXPECT_FALSE(container.m_bReload);
    EXPECT_EQ(ReadRaw(AbcPath()), strSaved);
    g_ulHookResult = 0;
    ASSERT_EQ(Write(container, AT_SIGNATURE, "pk", KEYINFOID_PRIVATEKEY, true), 0u);
    EXPECT_EQ(OnDisk(AT_SIGNATURE, KEYINFOID_CERTIFICATE_LABEL), "unsaved" + kNul);
    EXPECT_EQ(OnDisk(AT_SIGNATURE, KEYINFOID_PUBLICKEY_LABEL), "kept" + kNul);
    EXPECT_EQ(OnDisk(AT_SIGNATURE, KEYINFOID_PRIVATEKEY), "pk");
}

TEST_F(ContainerFileInfoTest, FailedReReadLeavesFieldsUntouchedAndTheFileAsItIs)
{
    MakeAbc("good");
    Container container("T", "abc", false, true, 0);
    ASSERT_EQ(container.ParseContainerFile(nullptr), 0u);

    // Fields the walk reads before it meets a tag it does not know.
    const std::string strBroken = FileBytes()
                                      .Header(1, "abc")
                                      .U32(KEY_TYPE_SM2)
                                      .Record(SEQUENCEID_PRIVATEKEY_LABEL, "evil")
                                      .Record(SEQUENCEID_PUBLICKEY, "evil key")
                                      .Record(21, "")
                                      .Str();
    WriteRaw(AbcPath(), strBroken);
    EXPECT_EQ(Read(container, AT_SIGNATURE, KEYINFOID_PRIVATEKEY_LABEL), "<error>");
    EXPECT_STREQ(container.m_stSigatureKey.pszPriKeyLabel, "good");
    EXPECT_EQ(container.m_stSigatureKey.PublicKey.cbData, 0u);
    EXPECT_EQ(container.m_stSigatureKey.PublicKey.pbData, nullptr);

    EXPECT_EQ(Write(container, AT_SIGNATURE, "x", KEYINFOID_CERTIFICATE_LABEL, false), E_FAIL);
    EXPECT_EQ(Write(container, AT_SIGNATURE, "x", KEYINFOID_CERTIFICATE_LABEL, true), E_FAIL);
    EXPECT_EQ(ReadRaw(AbcPath()), strBroken) << "nothing half-read is written back";
    EXPECT_STREQ(container.m_stSigatureKey.pszPriKeyLabel, "good");
    EXPECT_EQ(container.m_stSigatureKey.pszCertLabel, nullptr);
}

}  // namespace
