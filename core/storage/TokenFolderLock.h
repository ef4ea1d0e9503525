// Advisory lock (flock) on a token's folder, held from a successful Lock
// call until Unlock or destruction.  Writers that read, check and rewrite
// the token file or a container take it, so two processes cannot
// interleave their updates; readers may take it shared.
//
// Not re-entrant: a second lock on the same folder, even from the same
// thread, waits for the first to go.  Never hold it across the PIN prompt.
#pragma once

#include "core/token/ResultCodes.h"

class TokenFolderLock {
public:
    TokenFolderLock() = default;
    virtual ~TokenFolderLock();
    TokenFolderLock(const TokenFolderLock&) = delete;
    TokenFolderLock& operator=(const TokenFolderLock&) = delete;

    // Locks the folder of the named token (GetRealTokenPath), waiting for
    // other holders.  0x57 when this object already holds a lock, E_FAIL
    // when the folder cannot be opened or locked.
    RESULT LockToken(const char* pszTokenName, bool bExclusive = true);
    // The same for a folder given by path.
    RESULT LockFolder(const char* pszFolderPath, bool bExclusive = true);
    void Unlock();
    bool IsLocked() const { return m_nFolderFd >= 0; }

private:
    int m_nFolderFd = -1;
};
