// Where the token core keeps its files, and path splitting.
//
// The base folder is "QYRA/PKCS11/" under the user's data folder; the key
// set folder and one folder per token lie below it.  Every path handed out
// fits the core's 260-byte path buffers (259 bytes and a NUL); a path that
// would not is refused with E_FAIL instead of being cut into another path.
// Blocks handed out are released by the caller with delete[].
#pragma once

#include "core/token/ResultCodes.h"

// Last part of the base folder below the data folder, trailing "/" included.
constexpr const char* STORAGE_BASE_FOLDER = "QYRA/PKCS11/";

// The path with a leading "~" or "~name" expanded to that home folder.
RESULT GetRealPath(const char* pszFilePath, char** ppszRealPath);

// The key set folder: base folder, "/", key set folder name.
RESULT GetRealKeySetPath(char** ppszKeySetPath);

// A token's folder: base folder, "/", key set folder name, "/", token name,
// "/".  The token name must be one non-empty path component.
RESULT GetRealTokenPath(const char* pszTokenName, char** ppszTokenPath);

// The last path component ("/a/b/" gives "b", "/" gives "/").
RESULT PathFindFileName(const char* pszFilePath, char** ppszFileName);

// The path without its last component ("/a/b" gives "/a", "/a" gives "/"),
// tilde-expanded.  A bare name has no folder and gives E_FAIL.
RESULT GetDirectoryFromFilePath(const char* pszFilePath, char** ppszDirectory);
