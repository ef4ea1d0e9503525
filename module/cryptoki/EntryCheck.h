// Trace lines of the entry points: each passed check as
// "<function> - <label> SUCCESS" at level 3, the first failed one as
// "<function> - <label> (Error code: 0x%08X)" at level 1 with the code the
// entry point returns. Typical use:
//
//   if (CK_RV rv = EntryCheck(kFn, "Check pInfo", pInfo != nullptr, CKR_ARGUMENTS_BAD); rv != CKR_OK)
//       return rv;
//   if (CK_RV rv = EntryResult(kFn, "TokenHandle::Foo", ulResult); rv != CKR_OK)
//       return rv;
#pragma once

#include "core/token/ResultCodes.h"

void EntryPass(const char* pszFunction, const char* pszLabel);

// Traces the failure and returns rv.
CK_RV EntryFail(const char* pszFunction, const char* pszLabel, CK_RV rv);

// CKR_OK when bPassed, else rvFailed; traced either way.
CK_RV EntryCheck(const char* pszFunction, const char* pszLabel, bool bPassed, CK_RV rvFailed);

// A core result: 0 passes, any other code fails and is returned widened.
CK_RV EntryResult(const char* pszFunction, const char* pszLabel, RESULT ulResult);
