// One process-wide lock held for the whole of every C_ call.
//
// Hosts such as NSS and p11-kit enter a module from several threads once it
// accepted CKF_OS_LOCKING_OK or mutex callbacks; nothing below the entry
// layer is prepared for that, so the module runs one call at a time. The
// lock is recursive so that a host callback re-entering the module from
// inside a call cannot dead-lock it.
#pragma once

class EntryLock {
public:
    EntryLock();
    ~EntryLock();
    EntryLock(const EntryLock&) = delete;
    EntryLock& operator=(const EntryLock&) = delete;
};
