// Whole-file read and write, deletion, folder creation, listing and
// existence tests: the only way the token core touches the file system.
//
// Files are created 0600 and folders 0700.  The functions that expand a
// leading "~" refuse (or answer false for) paths longer than 259 bytes, as
// GetRealPath does.  Blocks handed out are released by the caller with
// delete[]; on failure nothing is handed out.
#pragma once

#include <vector>

#include "core/token/Records.h"
#include "core/token/ResultCodes.h"

// One entry of a folder listing.
struct _fileInfo {
    char szFileName[MAX_PATH_LEN];  // last path component, cut to 259 bytes
    bool bIsDirectory;              // a folder itself, not a link to one
};

// The whole file at pszFilePathName (used as given, no tilde expansion) in
// a new block.  A file larger than nMaxSize is E_FAIL, an empty file 0x57,
// a read that cannot complete 0x05.
RESULT ReadFileSimple(const char* pszFilePathName, unsigned int nMaxSize, unsigned char** ppbyData,
                      unsigned int* pnDataSize);

// With bTruncate the file's content is replaced as a whole: the data goes
// to a temporary file in the same folder, is flushed to disk and renamed
// over the old file, so a failure at any point leaves the old content
// intact.  Without bTruncate the data is appended.  A write that cannot
// complete is 0x05.
RESULT WriteFileSimple(const char* pszFilePath, const unsigned char* pbyData, unsigned int nDataSize,
                       bool bTruncate);

// Deletes one file or link; nothing at the path is success, a folder 0x57.
RESULT DeleteFile(const char* pszFilePath);

// Creates the folder and every missing folder above it.  Anything already
// at the path, folder or file, is success.
RESULT CreateDirectories(const char* pszDirectoryPath);

// Appends one entry per item of the folder (one level, "." and ".."
// left out), sorted bytewise by name so that the order is the same on
// every run.
RESULT EnumDirectory(const char* pszDirectory, std::vector<_fileInfo>& vtrFileList);

// True when something exists at the tilde-expanded path (links followed);
// *pbIsDirectory, when given, tells whether it is a folder.
bool IsFileOrDirectoryExist(const char* pszPath, bool* pbIsDirectory = nullptr);

// True when pszName, a path relative to the folder ("sub/item" for an item
// one folder down), names an item below it.  Links to folders are not
// descended into.
bool CheckFileOrDirectoryExistInDirectory(const char* pszDirectory, const char* pszName);

// Test seam for the replace write: called once the new content is on disk
// in its temporary file and before it replaces the old one.  A non-zero
// result aborts the write with that code.  Null removes the hook.
typedef RESULT (*PFN_WRITE_FILE_SIMPLE_HOOK)(const char* pszTempPath, const char* pszFilePath);
void SetWriteFileSimpleHook(PFN_WRITE_FILE_SIMPLE_HOOK pfnHook);
