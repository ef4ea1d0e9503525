#include "core/storage/FileSimple.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/storage/StoragePath.h"
#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

namespace {

constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

std::atomic<PFN_WRITE_FILE_SIMPLE_HOOK> g_pfnWriteHook{nullptr};

RESULT ErrnoOrFail(int nErrno)
{
    return nErrno != 0 ? static_cast<RESULT>(nErrno) : E_FAIL;
}

RESULT FailStep(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

// Owns a descriptor; Release() hands it back for a close whose result
// matters.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return m_fd; }
    int Release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

struct DirCloser {
    void operator()(DIR* pDir) const { closedir(pDir); }
};

int OpenRetrying(const char* pszPath, int nFlags, mode_t nMode = 0)
{
    int fd;
    do {
        fd = open(pszPath, nFlags | O_CLOEXEC, nMode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Transfers exactly nSize bytes or fails; EINTR is retried.
bool WriteAll(int fd, const unsigned char* pbyData, size_t nSize)
{
    size_t nDone = 0;
    while (nDone < nSize) {
        ssize_t nWritten = write(fd, pbyData + nDone, nSize - nDone);
        if (nWritten < 0 && errno == EINTR) {
            continue;
        }
        if (nWritten <= 0) {
            return false;
        }
        nDone += static_cast<size_t>(nWritten);
    }
    return true;
}

bool ReadAll(int fd, unsigned char* pbyData, size_t nSize)
{
    size_t nDone = 0;
    while (nDone < nSize) {
        ssize_t nRead = read(fd, pbyData + nDone, nSize - nDone);
        if (nRead < 0 && errno == EINTR) {
            continue;
        }
        if (nRead <= 0) {
            return false;
        }
        nDone += static_cast<size_t>(nRead);
    }
    return true;
}

int CloseChecked(int fd)
{
    // Linux releases the descriptor even when close reports EINTR, so a
    // retry could close someone else's; EINTR is not an error here.
    if (close(fd) != 0 && errno != EINTR) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

// Makes a rename durable; a failure only weakens durability, the new
// content is already in place.
void SyncFolder(const std::string& strFolder)
{
    int fd = OpenRetrying(strFolder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

RESULT ReplaceFile(const char* pszFilePath, const unsigned char* pbyData, unsigned int nDataSize)
{
    const char* pszFunction = "WriteFileSimple";
    std::string strPath(pszFilePath);
    size_t nSlash = strPath.rfind('/');
    std::string strFolder = nSlash == std::string::npos ? std::string(".") : strPath.substr(0, nSlash + 1);
    std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    if (strName.empty()) {
        return FailStep(pszFunction, "Check pszFilePath", ERROR_INVALID_PARAMETER);
    }
    // The temporary name stays within NAME_MAX however long the file's is.
    std::string strTemp = (nSlash == std::string::npos ? std::string() : strFolder) + "." +
                          strName.substr(0, 200) + ".XXXXXX";

    // mkostemp creates the file 0600, whatever the umask.
    int fd = mkostemp(strTemp.data(), O_CLOEXEC);
    if (fd < 0) {
        return FailStep(pszFunction, "open file", ErrnoOrFail(errno));
    }
    UniqueFd ownedFd(fd);
    RESULT ulResult = 0;
    const char* pszLabel = nullptr;
    if (!WriteAll(fd, pbyData, nDataSize)) {
        ulResult = CKR_GENERAL_ERROR;
        pszLabel = "write file";
    } else if (fsync(fd) != 0) {
        ulResult = ErrnoOrFail(errno);
        pszLabel = "fsync file";
    } else {
        int nCloseErr = CloseChecked(ownedFd.Release());
        if (nCloseErr != 0) {
            ulResult = ErrnoOrFail(nCloseErr);
            pszLabel = "close file";
        }
    }
    if (ulResult == 0) {
        if (PFN_WRITE_FILE_SIMPLE_HOOK pfnHook = g_pfnWriteHook.load()) {
            ulResult = pfnHook(strTemp.c_str(), pszFilePath);
            pszLabel = "write hook";
        }
    }
    if (ulResult == 0 && rename(strTemp.c_str(), pszFilePath) != 0) {
        ulResult = ErrnoOrFail(errno);
        pszLabel = "rename file";
    }
    if (ulResult != 0) {
        unlink(strTemp.c_str());
        return FailStep(pszFunction, pszLabel, ulResult);
    }
    SyncFolder(strFolder);
    return 0;
}

RESULT AppendFile(const char* pszFilePath, const unsigned char* pbyData, unsigned int nDataSize)
{
    const char* pszFunction = "WriteFileSimple";
    UniqueFd fd(OpenRetrying(pszFilePath, O_RDWR | O_CREAT | O_APPEND, kFileMode));
    if (fd.Get() < 0) {
        return FailStep(pszFunction, "open file", ErrnoOrFail(errno));
    }
    if (!WriteAll(fd.Get(), pbyData, nDataSize)) {
        return FailStep(pszFunction, "write file", CKR_GENERAL_ERROR);
    }
    int nCloseErr = CloseChecked(fd.Release());
    if (nCloseErr != 0) {
        return FailStep(pszFunction, "close file", ErrnoOrFail(nCloseErr));
    }
    return 0;
}

bool IsPathComponent(const std::string& strPart)
{
    return !strPart.empty() && strPart != "." && strPart != "..";
}

}  // namespace

void SetWriteFileSimpleHook(PFN_WRITE_FILE_SIMPLE_HOOK pfnHook)
{
    g_pfnWriteHook.store(pfnHook);
}

RESULT ReadFileSimple(const char* pszFilePathName, unsigned int nMaxSize, unsigned char** ppbyData,
                      unsigned int* pnDataSize)
{
    if (pszFilePathName == nullptr) {
        return FailStep(__func__, "Check pszFilePathName", ERROR_INVALID_PARAMETER);
    }
    if (ppbyData == nullptr || pnDataSize == nullptr) {
        return FailStep(__func__, "Check ppbyData", ERROR_INVALID_PARAMETER);
    }
    TRACE(QYRA_LOG_INFO, "pszFilePathName is %s", pszFilePathName);
    if (access(pszFilePathName, F_OK) != 0) {
        return FailStep(__func__, "Check pszFilePathName exist", E_FAIL);
    }
    UniqueFd fd(OpenRetrying(pszFilePathName, O_RDONLY));
    if (fd.Get() < 0) {
        return FailStep(__func__, "open file", ErrnoOrFail(errno));
    }
    struct stat stInfo;
    if (fstat(fd.Get(), &stInfo) != 0) {
        return FailStep(__func__, "fstat file", ErrnoOrFail(errno));
    }
    if (!S_ISREG(stInfo.st_mode)) {
        return FailStep(__func__, "Check regular file", E_FAIL);
    }
    if (stInfo.st_size > static_cast<off_t>(nMaxSize)) {
        return FailStep(__func__, "Check file size", E_FAIL);
    }
    if (stInfo.st_size == 0) {
        return FailStep(__func__, "Check buffer size", ERROR_INVALID_PARAMETER);
    }
    size_t nSize = static_cast<size_t>(stInfo.st_size);
    std::unique_ptr<unsigned char[]> pbyBuffer(new (std::nothrow) unsigned char[nSize]());
    if (!pbyBuffer) {
        return FailStep(__func__, "New buffer", E_FAIL);
    }
    if (lseek(fd.Get(), 0, SEEK_SET) < 0) {
        return FailStep(__func__, "lseek file", ErrnoOrFail(errno));
    }
    if (!ReadAll(fd.Get(), pbyBuffer.get(), nSize)) {
        return FailStep(__func__, "read file", CKR_GENERAL_ERROR);
    }
    *ppbyData = pbyBuffer.release();
    *pnDataSize = static_cast<unsigned int>(nSize);
    TraceStepSuccess(__func__, "read file");
    return 0;
}

RESULT WriteFileSimple(const char* pszFilePath, const unsigned char* pbyData, unsigned int nDataSize,
                       bool bTruncate)
{
    if (pszFilePath == nullptr || pszFilePath[0] == '\0') {
        return FailStep(__func__, "Check pszFilePath", ERROR_INVALID_PARAMETER);
    }
    if (pbyData == nullptr && nDataSize != 0) {
        return FailStep(__func__, "Check pbyData", ERROR_INVALID_PARAMETER);
    }
    TRACE(QYRA_LOG_INFO, "pszFilePath is %s", pszFilePath);
    static const unsigned char byNothing = 0;
    const unsigned char* pbyBytes = pbyData != nullptr ? pbyData : &byNothing;
    RESULT ulResult = bTruncate ? ReplaceFile(pszFilePath, pbyBytes, nDataSize)
                                : AppendFile(pszFilePath, pbyBytes, nDataSize);
    if (ulResult == 0) {
        TraceStepSuccess(__func__, "write file");
    }
    return ulResult;
}

RESULT DeleteFile(const char* pszFilePath)
{
    if (pszFilePath == nullptr) {
        return FailStep(__func__, "Check pszFilePath", ERROR_INVALID_PARAMETER);
    }
    struct stat stInfo;
    if (lstat(pszFilePath, &stInfo) != 0) {
        TRACE(QYRA_LOG_INFO, "%s - File not exist, success", __func__);
        return 0;
    }
    if (S_ISDIR(stInfo.st_mode)) {
        return FailStep(__func__, "Check pszFilePath is not directory", ERROR_INVALID_PARAMETER);
    }
    if (unlink(pszFilePath) != 0 && errno != ENOENT) {
        return FailStep(__func__, "removeItemAtPath", E_FAIL);
    }
    TraceStepSuccess(__func__, "removeItemAtPath");
    return 0;
}

RESULT CreateDirectories(const char* pszDirectoryPath)
{
    if (pszDirectoryPath == nullptr) {
        return FailStep(__func__, "Check pszDirectoryPath", ERROR_INVALID_PARAMETER);
    }
    char* pszExpanded = nullptr;
    if (GetRealPath(pszDirectoryPath, &pszExpanded) != 0) {
        return FailStep(__func__, "get pnsDirectoryPath", E_FAIL);
    }
    std::string strPath(pszExpanded);
    delete[] pszExpanded;

    struct stat stInfo;
    if (stat(strPath.c_str(), &stInfo) == 0) {
        TRACE(QYRA_LOG_INFO, "%s - File exists (2) no need to create", __func__);
        return 0;
    }
    // Each missing level is made 0700; levels that exist keep their mode.
    size_t nPos = 0;
    while (nPos < strPath.size()) {
        size_t nNext = strPath.find('/', nPos + 1);
        if (nNext == std::string::npos) {
            nNext = strPath.size();
        }
        std::string strLevel = strPath.substr(0, nNext);
        nPos = nNext;
        if (strLevel.empty() || strLevel.back() == '/') {
            continue;
        }
        if (mkdir(strLevel.c_str(), kFolderMode) == 0) {
            continue;
        }
        int nErr = errno;
        if (nErr == EEXIST && stat(strLevel.c_str(), &stInfo) == 0 && S_ISDIR(stInfo.st_mode)) {
            continue;
        }
        TRACE(QYRA_LOG_ERROR, "%s - mkdir %s: errno %d", __func__, strLevel.c_str(), nErr);
        return FailStep(__func__, "createDirectoryAtPath(1)", E_FAIL);
    }
    TraceStepSuccess(__func__, "createDirectoryAtPath(1)");
    return 0;
}

RESULT EnumDirectory(const char* pszDirectory, std::vector<_fileInfo>& vtrFileList)
{
    if (pszDirectory == nullptr) {
        return FailStep(__func__, "Check pszDirectory", ERROR_INVALID_PARAMETER);
    }
    bool bIsDirectory = false;
    char* pszExpanded = nullptr;
    if (GetRealPath(pszDirectory, &pszExpanded) != 0) {
        return FailStep(__func__, "Check directory exist", E_FAIL);
    }
    std::string strFolder(pszExpanded);
    delete[] pszExpanded;
    if (!IsFileOrDirectoryExist(strFolder.c_str(), &bIsDirectory) || !bIsDirectory) {
        return FailStep(__func__, "Check directory exist", E_FAIL);
    }
    std::unique_ptr<DIR, DirCloser> pDir(opendir(strFolder.c_str()));
    if (!pDir) {
        return FailStep(__func__, "list directory", E_FAIL);
    }
    std::vector<_fileInfo> vtrEntries;
    for (;;) {
        errno = 0;
        struct dirent* pEntry = readdir(pDir.get());
        if (pEntry == nullptr) {
            if (errno != 0) {
                return FailStep(__func__, "list directory", E_FAIL);
            }
            break;
        }
        if (strcmp(pEntry->d_name, ".") == 0 || strcmp(pEntry->d_name, "..") == 0) {
            continue;
        }
        _fileInfo stInfo;
        memset(&stInfo, 0, sizeof(stInfo));
        strncpy(stInfo.szFileName, pEntry->d_name, sizeof(stInfo.szFileName) - 1);
        // Asked relative to the open folder, so no entry path is built that
        // could be cut into another one.
        struct stat stEntry;
        stInfo.bIsDirectory = fstatat(dirfd(pDir.get()), pEntry->d_name, &stEntry, AT_SYMLINK_NOFOLLOW) == 0 &&
                              S_ISDIR(stEntry.st_mode);
        vtrEntries.push_back(stInfo);
    }
    // Bytewise name order: the file system's own order changes as folders
    // are added, and slot numbers follow this listing.
    std::sort(vtrEntries.begin(), vtrEntries.end(), [](const _fileInfo& a, const _fileInfo& b) {
        return strcmp(a.szFileName, b.szFileName) < 0;
    });
    vtrFileList.insert(vtrFileList.end(), vtrEntries.begin(), vtrEntries.end());
    TraceStepSuccess(__func__, "list directory");
    return 0;
}

bool IsFileOrDirectoryExist(const char* pszPath, bool* pbIsDirectory)
{
    if (pszPath == nullptr) {
        return false;
    }
    char* pszExpanded = nullptr;
    if (GetRealPath(pszPath, &pszExpanded) != 0) {
        return false;
    }
    struct stat stInfo;
    bool bExists = stat(pszExpanded, &stInfo) == 0;
    delete[] pszExpanded;
    if (pbIsDirectory != nullptr) {
        *pbIsDirectory = bExists && S_ISDIR(stInfo.st_mode);
    }
    return bExists;
}

bool CheckFileOrDirectoryExistInDirectory(const char* pszDirectory, const char* pszName)
{
    if (pszDirectory == nullptr || pszName == nullptr) {
        return false;
    }
    struct stat stInfo;
    if (stat(pszDirectory, &stInfo) != 0 || !S_ISDIR(stInfo.st_mode)) {
        TraceStepFailed(__func__, "Check directory exist", E_FAIL);
        return false;
    }
    char* pszExpanded = nullptr;
    if (GetRealPath(pszDirectory, &pszExpanded) != 0) {
        return false;
    }
    std::string strPath(pszExpanded);
    delete[] pszExpanded;

    // Same answer as walking the whole tree and comparing relative paths,
    // without listing every file: each level of the name must be a real
    // folder (a walk does not enter links), the last must exist.
    std::string strName(pszName);
    size_t nStart = 0;
    for (;;) {
        size_t nSlash = strName.find('/', nStart);
        std::string strPart = strName.substr(nStart, nSlash == std::string::npos ? std::string::npos : nSlash - nStart);
        if (!IsPathComponent(strPart)) {
            break;
        }
        strPath += "/" + strPart;
        if (lstat(strPath.c_str(), &stInfo) != 0) {
            break;
        }
        if (nSlash == std::string::npos) {
            return true;
        }
        if (!S_ISDIR(stInfo.st_mode)) {
            break;
        }
        nStart = nSlash + 1;
    }
    TraceStepFailed(__func__, "Check searched file name", E_FAIL);
    return false;
}
