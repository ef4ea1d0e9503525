#include "core/storage/TokenFolderLock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "core/storage/StoragePath.h"
#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

TokenFolderLock::~TokenFolderLock()
{
    Unlock();
}

RESULT TokenFolderLock::LockToken(const char* pszTokenName, bool bExclusive)
{
    char* pszTokenPath = nullptr;
    RESULT ulResult = GetRealTokenPath(pszTokenName, &pszTokenPath);
    if (ulResult != 0) {
        TraceStepFailed("TokenFolderLock::LockToken", "GetRealTokenPath", ulResult);
        return ulResult;
    }
    ulResult = LockFolder(pszTokenPath, bExclusive);
    delete[] pszTokenPath;
    return ulResult;
}

RESULT TokenFolderLock::LockFolder(const char* pszFolderPath, bool bExclusive)
{
    const char* pszFunction = "TokenFolderLock::LockFolder";
    if (pszFolderPath == nullptr || m_nFolderFd >= 0) {
        TraceStepFailed(pszFunction, "Check pszFolderPath", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    int fd;
    do {
        fd = open(pszFolderPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        TRACE(QYRA_LOG_ERROR, "%s - open %s: errno %d", pszFunction, pszFolderPath, errno);
        TraceStepFailed(pszFunction, "open folder", E_FAIL);
        return E_FAIL;
    }
    int nResult;
    do {
        nResult = flock(fd, bExclusive ? LOCK_EX : LOCK_SH);
    } while (nResult != 0 && errno == EINTR);
    if (nResult != 0) {
        TRACE(QYRA_LOG_ERROR, "%s - flock: errno %d", pszFunction, errno);
        close(fd);
        TraceStepFailed(pszFunction, "flock folder", E_FAIL);
        return E_FAIL;
    }
    m_nFolderFd = fd;
    TraceStepSuccess(pszFunction, "flock folder");
    return 0;
}

void TokenFolderLock::Unlock()
{
    if (m_nFolderFd >= 0) {
        // Closing the only descriptor of the open folder releases the lock.
        close(m_nFolderFd);
        m_nFolderFd = -1;
    }
}
