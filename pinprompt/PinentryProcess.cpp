#include "pinprompt/PinentryProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

bool IsExecutableFile(const std::string& strPath)
{
    struct stat stInfo;
    return stat(strPath.c_str(), &stInfo) == 0 && S_ISREG(stInfo.st_mode) &&
           access(strPath.c_str(), X_OK) == 0;
}

std::string SearchPath(const std::string& strName)
{
    std::string strPath;
    if (const char* pszPath = std::getenv("PATH"); pszPath != nullptr) {
        strPath = pszPath;
    } else {
        size_t nSize = confstr(_CS_PATH, nullptr, 0);
        if (nSize > 0) {
            strPath.resize(nSize);
            confstr(_CS_PATH, strPath.data(), nSize);
            strPath.resize(nSize - 1);
        }
    }
    size_t nStart = 0;
    while (nStart <= strPath.size()) {
        size_t nEnd = strPath.find(':', nStart);
        if (nEnd == std::string::npos) {
            nEnd = strPath.size();
        }
        std::string strDir = strPath.substr(nStart, nEnd - nStart);
        if (strDir.empty()) {
            strDir = ".";
        }
        std::string strCandidate = strDir + "/" + strName;
        if (IsExecutableFile(strCandidate)) {
            return strCandidate;
        }
        nStart = nEnd + 1;
    }
    return "";
}

// Keeps the descriptor clear of 0 to 2, which the child's stdin and stdout
// are made from, so a host that closed its own stdin cannot confuse the
// redirection.
int AboveStandardFds(int fd)
{
    if (fd > 2) {
        return fd;
    }
    int fdMoved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return fdMoved;
}

bool ReapIfEnded(pid_t pid, int nOptions)
{
    for (;;) {
        pid_t nResult = waitpid(pid, nullptr, nOptions);
        if (nResult == pid) {
            return true;
        }
        if (nResult == 0) {
            return false;
        }
        if (errno != EINTR) {
            // ECHILD: the host reaps its children itself (or ignores SIGCHLD).
            return true;
        }
    }
}

}  // namespace

std::string FindPinentryProgram()
{
    std::string strProgram = "pinentry";
    if (const char* pszChosen = std::getenv("PINVEIL_PINENTRY");
        pszChosen != nullptr && pszChosen[0] != '\0') {
        strProgram = pszChosen;
    }
    if (strProgram.find('/') != std::string::npos) {
        return IsExecutableFile(strProgram) ? strProgram : "";
    }
    return SearchPath(strProgram);
}

PinentryProcess::~PinentryProcess() { Stop(true); }

int PinentryProcess::Start(const std::string& strProgram)
{
    if (m_pid > 0 || strProgram.empty()) {
        return -1;
    }
    int afdPair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, afdPair) != 0) {
        return -1;
    }
    int fdOurs = AboveStandardFds(afdPair[0]);
    int fdTheirs = AboveStandardFds(afdPair[1]);
    if (fdOurs < 0 || fdTheirs < 0) {
        if (fdOurs >= 0) {
            close(fdOurs);
        }
        if (fdTheirs >= 0) {
            close(fdTheirs);
        }
        return -1;
    }

    // The child gets the socket as stdin and stdout, keeps stderr, loses
    // every other descriptor of the host, and starts with default signal
    // handling whatever the host set up.
    posix_spawn_file_actions_t stActions;
    posix_spawnattr_t stAttributes;
    posix_spawn_file_actions_init(&stActions);
    posix_spawnattr_init(&stAttributes);
    posix_spawn_file_actions_adddup2(&stActions, fdTheirs, 0);
    posix_spawn_file_actions_adddup2(&stActions, fdTheirs, 1);
    posix_spawn_file_actions_addclosefrom_np(&stActions, 3);
    sigset_t stSignals;
    sigemptyset(&stSignals);
    posix_spawnattr_setsigmask(&stAttributes, &stSignals);
    sigfillset(&stSignals);
    sigdelset(&stSignals, SIGKILL);
    sigdelset(&stSignals, SIGSTOP);
    posix_spawnattr_setsigdefault(&stAttributes, &stSignals);
    posix_spawnattr_setflags(&stAttributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string strArg0 = strProgram;
    char* apszArgs[] = {strArg0.data(), nullptr};
    pid_t pid = -1;
    int nError = posix_spawn(&pid, strProgram.c_str(), &stActions, &stAttributes, apszArgs, environ);
    posix_spawn_file_actions_destroy(&stActions);
    posix_spawnattr_destroy(&stAttributes);
    close(fdTheirs);
    if (nError != 0) {
        close(fdOurs);
        return -1;
    }
    m_pid = pid;
    return fdOurs;
}

void PinentryProcess::Stop(bool bHurry)
{
    if (m_pid <= 0) {
        return;
    }
    if (bHurry) {
        kill(m_pid, SIGTERM);
    }
    // A pinentry hung up on normally restores its terminal and ends within
    // moments; give it two seconds before killing it.
    for (int i = 0; i < 200; ++i) {
        if (ReapIfEnded(m_pid, WNOHANG)) {
            m_pid = -1;
            return;
        }
        struct timespec stPause = {0, 10 * 1000 * 1000};
        nanosleep(&stPause, nullptr);
    }
    kill(m_pid, SIGKILL);
    ReapIfEnded(m_pid, 0);
    m_pid = -1;
}
