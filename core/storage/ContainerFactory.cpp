// Making, opening and removing containers.
#include <memory>
#include <new>

#include "core/storage/Container.h"
#include "core/storage/FileSimple.h"
#include "core/storage/StoragePath.h"
#include "core/storage/TokenFolderLock.h"
#include "core/storage/UserInfo.h"
#include "core/trace/TraceStep.h"

namespace {

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

// The container's file path, which also proves both names usable: a token
// name of one path component, a container name of 1 to 258 bytes, a path
// that fits.
RESULT ContainerPath(const char* pszFunction, const char* pszKeyName, const char* pszContainerName,
                     std::unique_ptr<char[]>& pszPath)
{
    if (pszKeyName == nullptr) {
        return Failed(pszFunction, "Check pszKeyName", ERROR_INVALID_PARAMETER);
    }
    if (pszContainerName == nullptr) {
        return Failed(pszFunction, "Check pszContainerName", ERROR_INVALID_PARAMETER);
    }
    char* pszPathName = nullptr;
    RESULT ulResult = Container::GetContainerPathName(pszKeyName, pszContainerName, &pszPathName);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetContainerPathName", ulResult);
    }
    pszPath.reset(pszPathName);
    return 0;
}

// Writes a new token container's first file.  Under the token folder's
// lock, so no other object's save of the same name can come in between
// the check and the write.
RESULT WriteFirstFile(const char* pszFunction, Container& container, const char* pszPathName)
{
    char* pszTokenPath = nullptr;
    RESULT ulResult = GetRealTokenPath(container.m_szKeyName, &pszTokenPath);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetRealTokenPath", ulResult);
    }
    // The folder must be there to be locked.
    ulResult = CreateDirectories(pszTokenPath);
    delete[] pszTokenPath;
    if (ulResult != 0) {
        return Failed(pszFunction, "CreateDirectories", ulResult);
    }
    TokenFolderLock lock;
    ulResult = lock.LockToken(container.m_szKeyName);
    if (ulResult != 0) {
        return Failed(pszFunction, "TokenFolderLock", ulResult);
    }
    // Another container of this name holds keys or data: keep them.
    if (IsFileOrDirectoryExist(pszPathName)) {
        return Failed(pszFunction, "Check container file exists", ERROR_FILE_EXISTS);
    }
    ulResult = container.GenerateContainerFile();
    if (ulResult != 0) {
        return Failed(pszFunction, "GenerateContainerFile", ulResult);
    }
    return 0;
}

Container* CreateNew(const char* pszFunction, const char* pszKeyName, const char* pszContainerName,
                     bool bIsDataFile, bool bIsToken, uint64_t uAlgrithm)
{
    std::unique_ptr<char[]> pszGUID;
    if (pszContainerName == nullptr) {
        char* pszNewName = nullptr;
        RESULT ulResult = CreateGUIDString(&pszNewName);
        if (ulResult != 0) {
            Failed(pszFunction, "CreateGUIDString", ulResult);
            return nullptr;
        }
        pszGUID.reset(pszNewName);
        pszContainerName = pszNewName;
    }
    std::unique_ptr<char[]> pszPathName;
    if (ContainerPath(pszFunction, pszKeyName, pszContainerName, pszPathName) != 0) {
        return nullptr;
    }
    std::unique_ptr<Container> pContainer(
        new (std::nothrow) Container(pszKeyName, pszContainerName, bIsDataFile, bIsToken, uAlgrithm));
    if (!pContainer) {
        Failed(pszFunction, "new Container", E_FAIL);
        return nullptr;
    }
    if (bIsToken && WriteFirstFile(pszFunction, *pContainer, pszPathName.get()) != 0) {
        return nullptr;
    }
    TraceStepSuccess(pszFunction, "Create container");
    return pContainer.release();
}

}  // namespace

Container* Container::CreateNewContainer(const char* pszKeyName, const char* pszContainerName, bool bIsToken,
                                         uint64_t uAlgrithm)
{
    return CreateNew("Container::CreateNewContainer", pszKeyName, pszContainerName, false, bIsToken, uAlgrithm);
}

Container* Container::CreateNewDataContainer(const char* pszKeyName, const char* pszContainerName, bool bIsToken)
{
    return CreateNew("Container::CreateNewDataContainer", pszKeyName, pszContainerName, true, bIsToken, 0);
}

Container* Container::CreateRegisteredContainer(const char* pszKeyName, const char* pszContainerName,
                                                bool bIsToken)
{
    const char* pszFunction = "Container::CreateRegisteredContainer";
    std::unique_ptr<char[]> pszPathName;
    if (ContainerPath(pszFunction, pszKeyName, pszContainerName, pszPathName) != 0) {
        return nullptr;
    }
    std::unique_ptr<Container> pContainer(
        new (std::nothrow) Container(pszKeyName, pszContainerName, false, bIsToken, 0));
    if (!pContainer) {
        Failed(pszFunction, "new Container", E_FAIL);
        return nullptr;
    }
    RESULT ulResult = pContainer->ParseContainerFileByRealPath(pszPathName.get());
    if (ulResult != 0) {
        Failed(pszFunction, "ParseContainerFile", ulResult);
        return nullptr;
    }
    TraceStepSuccess(pszFunction, "ParseContainerFile");
    return pContainer.release();
}

Container* Container::CreateRegisteredContaierByRealPath(const char* pszKeyName,
                                                         const char* pszContainerFileRealPath, bool bIsToken)
{
    const char* pszFunction = "Container::CreateRegisteredContaierByRealPath";
    if (pszKeyName == nullptr) {
        Failed(pszFunction, "Check pszKeyName", ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (pszContainerFileRealPath == nullptr) {
        Failed(pszFunction, "Check pszContainerFileRealPath", ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::unique_ptr<Container> pContainer(new (std::nothrow) Container(pszKeyName, nullptr, false, bIsToken, 0));
    if (!pContainer) {
        Failed(pszFunction, "new Container", E_FAIL);
        return nullptr;
    }
    RESULT ulResult = pContainer->ParseContainerFileByRealPath(pszContainerFileRealPath);
    if (ulResult != 0) {
        Failed(pszFunction, "ParseContainerFileByRealPath", ulResult);
        return nullptr;
    }
    TraceStepSuccess(pszFunction, "ParseContainerFileByRealPath");
    return pContainer.release();
}

bool Container::IsRegisteredContainer(const char* pszKeyName, const char* pszContainerName)
{
    std::unique_ptr<Container> pContainer(CreateRegisteredContainer(pszKeyName, pszContainerName, false));
    return pContainer != nullptr;
}

RESULT Container::RemoveContainerFile(const char* pszKeyName, const char* pszContainerName)
{
    const char* pszFunction = "Container::RemoveContainerFile";
    std::unique_ptr<char[]> pszPathName;
    RESULT ulResult = ContainerPath(pszFunction, pszKeyName, pszContainerName, pszPathName);
    if (ulResult != 0) {
        return ulResult;
    }
    ulResult = DeleteFile(pszPathName.get());
    if (ulResult != 0) {
        return Failed(pszFunction, "DeleteFile for containerPathName", ulResult);
    }
    TraceStepSuccess(pszFunction, "DeleteFile for containerPathName");
    return 0;
}

bool Container::UnregisterContainer(const char* pszKeyName, const char* pszContainerName)
{
    return RemoveContainerFile(pszKeyName, pszContainerName) == 0;
}
