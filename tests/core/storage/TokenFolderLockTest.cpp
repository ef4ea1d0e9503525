#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "core/storage/TokenFolderLock.h"
#include "StorageFixture.h"

namespace {

class TokenFolderLockTest : public StorageFixture {
protected:
    void SetUp() override
    {
        StorageFixture::SetUp();
        m_strToken = m_home.BaseFolder() + "//KeySet_Velmoray/T/";
        std::filesystem::create_directories(m_strToken);
    }

    // What another process would get when it asks for the lock without
    // waiting: flock conflicts between separate opens, also in one process.
    int TryOther(int nMode) const
    {
        int fd = open(m_strToken.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        int nResult = flock(fd, nMode | LOCK_NB);
        int nErr = nResult == 0 ? 0 : errno;
        close(fd);
        return nErr;
    }

    std::string m_strToken;
};

TEST_F(TokenFolderLockTest, ExclusiveLockHeldUntilUnlockOrDestruction)
{
    {
        TokenFolderLock lock;
        ASSERT_EQ(lock.LockToken("T"), 0u);
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_EQ(TryOther(LOCK_EX), EWOULDBLOCK);
        EXPECT_EQ(TryOther(LOCK_SH), EWOULDBLOCK);
        lock.Unlock();
        EXPECT_FALSE(lock.IsLocked());
        EXPECT_EQ(TryOther(LOCK_EX), 0);

        ASSERT_EQ(lock.LockFolder(m_strToken.c_str()), 0u);
        EXPECT_EQ(TryOther(LOCK_EX), EWOULDBLOCK);
    }
    EXPECT_EQ(TryOther(LOCK_EX), 0) << "released by the destructor";
}

TEST_F(TokenFolderLockTest, SharedLockAdmitsReadersOnly)
{
    TokenFolderLock lock;
    ASSERT_EQ(lock.LockToken("T", false), 0u);
    EXPECT_EQ(TryOther(LOCK_SH), 0);
    EXPECT_EQ(TryOther(LOCK_EX), EWOULDBLOCK);
}

TEST_F(TokenFolderLockTest, Refusals)
{
    TokenFolderLock lock;
    EXPECT_EQ(lock.LockToken("missing"), E_FAIL);
    EXPECT_EQ(lock.LockToken("../T"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(lock.LockFolder(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(lock.IsLocked());
    ASSERT_EQ(lock.LockToken("T"), 0u);
    EXPECT_EQ(lock.LockToken("T"), ERROR_INVALID_PARAMETER) << "one lock per object";
    EXPECT_TRUE(lock.IsLocked());
}

}  // namespace
