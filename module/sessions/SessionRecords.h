// The per-session records of a slot and the state kept for a running
// object search.
#pragma once

#include <p11-kit/pkcs11.h>

class HashHandle;

// States of the encrypt, decrypt, sign, verify and digest operations.
constexpr unsigned long SESSION_OP_NONE = 0;
constexpr unsigned long SESSION_OP_INITIALIZED = 1;
constexpr unsigned long SESSION_OP_UPDATE_LENGTH_ASKED = 2;
constexpr unsigned long SESSION_OP_UPDATED = 3;
constexpr unsigned long SESSION_OP_FINAL_LENGTH_ASKED = 4;
constexpr unsigned long SESSION_OP_FINISHED = 5;

// A running object search. Owns the template copies: the array and each
// value are array-new blocks.
struct _SessionSearchInfo {
    CK_ATTRIBUTE* pTemplate;
    unsigned long ulTemplateCount;
    unsigned long ulObjectType;
    // Where the token layer continues; opaque here.
    unsigned long ulSearchIndex;
    unsigned long ulSearchSpec;
};

// One record per session opened on the slot since its last close-all; the
// record of session number n is element n - 1. All zero when made.
struct _sessionInfo {
    unsigned long ulSessionID;
    // As given to C_OpenSession.
    unsigned long ulFlags;
    unsigned char bActive;
    unsigned long ulHashState;
    CK_OBJECT_HANDLE hEncryptKey;
    unsigned long ulEncryptState;
    CK_OBJECT_HANDLE hDecryptKey;
    unsigned long ulDecryptState;
    // Sign: hash the SM2 Z value first.
    unsigned char bWithZValue;
    unsigned long ulSignHashAlg;
    CK_OBJECT_HANDLE hSignKey;
    unsigned long ulSignState;
    // The same option for verification.
    unsigned char bVerifyWithZValue;
    unsigned long ulVerifyHashAlg;
    CK_OBJECT_HANDLE hVerifyKey;
    unsigned long ulVerifyState;
    // Owned; null while no search runs.
    _SessionSearchInfo* pstSearchInfo;
    // Owned; the running digest of the digest operation and of multi-part
    // signing.
    HashHandle* pHashHandle;
};

// Releases the search info with its template copies; null is accepted.
void ReleaseSessionSearchInfo(_SessionSearchInfo* pstSearchInfo);
