#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/storage/TokenFolderLock.h"
#include "TokenFixture.h"

namespace {

class TokenConcurrencyTest : public TokenFixture {};

struct ChildReport {
    int nWrongResults;
    uint32_t ulLastResult;
};

// Each child opens the token, waits for the start signal and guesses until
// the token refuses; it reports how many guesses were answered "wrong PIN".
ChildReport GuessUntilRefused(int nStartFd)
{
    ChildReport stReport{0, 0};
    std::unique_ptr<TokenHandle> pToken(TokenHandle::CreateRegisteredTokenHandle(1, kToken));
    char c;
    if (pToken == nullptr || read(nStartFd, &c, 1) != 0) {
        stReport.ulLastResult = 0xDEAD;
        return stReport;
    }
    for (;;) {
        const RESULT ulResult = pToken->CheckPIN("000000", 6);
        if (ulResult != CKR_PIN_INCORRECT) {
            stReport.ulLastResult = ulResult;
            return stReport;
        }
        ++stReport.nWrongResults;
    }
}

TEST_F(TokenConcurrencyTest, ProcessesGuessingAtOnceShareSixTries)
{
    auto pToken = NewToken();
    ASSERT_NE(pToken, nullptr);
    constexpr int kProcesses = 4;
    int fdStart[2];
    int fdReport[2];
    ASSERT_EQ(pipe(fdStart), 0);
    ASSERT_EQ(pipe(fdReport), 0);
    std::vector<pid_t> vtrChildren;
    for (int i = 0; i < kProcesses; ++i) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fdStart[1]);
            close(fdReport[0]);
            const ChildReport stReport = GuessUntilRefused(fdStart[0]);
            const bool bWritten = write(fdReport[1], &stReport, sizeof(stReport)) ==
                                  static_cast<ssize_t>(sizeof(stReport));
            _exit(bWritten ? 0 : 1);
        }
        vtrChildren.push_back(pid);
    }
    close(fdStart[0]);
    close(fdReport[1]);
    close(fdStart[1]);  // all children start guessing now

    int nWrongTotal = 0;
    for (int i = 0; i < kProcesses; ++i) {
        ChildReport stReport{};
        ASSERT_EQ(read(fdReport[0], &stReport, sizeof(stReport)),
                  static_cast<ssize_t>(sizeof(stReport)));
        EXPECT_EQ(stReport.ulLastResult, CKR_PIN_LOCKED);
        nWrongTotal += stReport.nWrongResults;
    }
    close(fdReport[0]);
    for (pid_t pid : vtrChildren) {
        int nStatus = 0;
        ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
        EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    }
    EXPECT_EQ(nWrongTotal, 6);
    EXPECT_EQ(StoredCount(), 0u);
}

// True once some process waits for an flock on the inode (/proc/locks marks
// waiters with "->").
bool WaitForFlockWaiter(ino_t nInode)
{
    const std::string strInode = ":" + std::to_string(nInode) + " ";
    for (int i = 0; i < 20000; ++i) {
        std::ifstream in("/proc/locks");
        std::string strLine;
        while (std::getline(in, strLine)) {
            if (strLine.find("-> FLOCK") != std::string::npos &&
                strLine.find(strInode) != std::string::npos) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST_F(TokenConcurrencyTest, OpeningKeepsAChangeMadeDuringItsScan)
{
    auto pToken = NewToken();
    ASSERT_NE(pToken, nullptr);
    SetStored(After(132), 7);
    struct stat st;
    ASSERT_EQ(stat(TokenFolder().c_str(), &st), 0);

    // Another process holds the lock while the opening scans the folder,
    // then spends tries and changes the PIN.
    TokenFolderLock stOther;
    ASSERT_EQ(stOther.LockToken(kToken), 0u);
    std::unique_ptr<TokenHandle> pOpened;
    std::thread stOpening([&] { pOpened.reset(TokenHandle::CreateRegisteredTokenHandle(1, kToken)); });
    const bool bWaiting = WaitForFlockWaiter(st.st_ino);
    const Bytes vtrNewVerifier = SealText(InfoOf(kFullName, kToken), "135790");
    SetStoredVerifier(vtrNewVerifier);
    SetStored(CountAt(), 2);
    stOther.Unlock();
    stOpening.join();
    ASSERT_TRUE(bWaiting) << "the opening never waited for the lock";

    ASSERT_NE(pOpened, nullptr);
    EXPECT_EQ(StoredCount(), 2u);
    EXPECT_EQ(StoredVerifier(), vtrNewVerifier);
    EXPECT_EQ(LE32(ReadConfig(), After(132)), 0u) << "the container count is rewritten";
    EXPECT_EQ(pOpened->m_ulCurrentPINCount, 2u);
}

}  // namespace
