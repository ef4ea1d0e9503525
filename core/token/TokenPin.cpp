// PIN verification, the retry counter and PIN changes.
//
// Every check re-reads the token file under the token folder's lock,
// writes the count less one before the PIN is tried and writes the full
// count back only for a right PIN.  A try is therefore never made without
// being counted, and processes guessing at once share one counter.
#include <cstdlib>
#include <cstring>

#include "core/crypto/SecretMemory.h"
#include "core/storage/ProtectData.h"
#include "core/storage/TokenFolderLock.h"
#include "core/token/PinCallback.h"
#include "core/token/TokenHandle.h"
#include "core/trace/TraceStep.h"

namespace {

constexpr uint32_t CKF_USER_PIN_TO_BE_CHANGED_BIT = 0x00080000;
constexpr uint32_t CKF_USER_PIN_INITIALIZED_BIT = 0x00000008;

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

bool PINLengthInRange(size_t nLen)
{
    return nLen >= static_cast<size_t>(TOKEN_PIN_MIN_LEN) &&
           nLen <= static_cast<size_t>(TOKEN_PIN_MAX_LEN);
}

}  // namespace

RESULT TokenHandle::SpendTry()
{
    --m_ulCurrentPINCount;
    RESULT ulResult = GenerateTokenFile();
    if (ulResult != 0) {
        ++m_ulCurrentPINCount;
    }
    return ulResult;
}

RESULT TokenHandle::RestoreTries()
{
    const uint32_t ulSpent = m_ulCurrentPINCount;
    m_ulCurrentPINCount = TOKEN_PIN_TRIES;
    RESULT ulResult = GenerateTokenFile();
    if (ulResult != 0) {
        m_ulCurrentPINCount = ulSpent;
    }
    return ulResult;
}

TokenHandle::VerifierState TokenHandle::OpenVerifier(const char* pszPIN,
                                                     const SecretText& stInfo) const
{
    uint8_t* pbyPlain = nullptr;
    int nPlainLen = 0;
    if (AcquireProtectData(m_stEncryptedPIN.pbData, static_cast<long>(m_stEncryptedPIN.cbData),
                           pszPIN, &pbyPlain, &nPlainLen) != 0) {
        return VerifierState::NotOpened;
    }
    // Valid padding alone is no proof: a wrong key passes it now and then.
    const bool bMatches = nPlainLen == TOKEN_INFO_LEN &&
                          stInfo.Length() == static_cast<size_t>(TOKEN_INFO_LEN) &&
                          CipherConstantTimeEqual(pbyPlain, stInfo.Get(), TOKEN_INFO_LEN);
    CipherSecureZero(pbyPlain, static_cast<size_t>(nPlainLen > 0 ? nPlainLen : 0));
    delete[] pbyPlain;
    return bMatches ? VerifierState::Matches : VerifierState::Differs;
}

RESULT TokenHandle::ReloadForPINCheck(const char* pszFunction)
{
    RESULT ulResult = ParseTokenFile(nullptr);
    if (TokenParseFailed(ulResult)) {
        return Failed(pszFunction, "ParseTokenFile", ulResult);
    }
    if (m_ulCurrentPINCount == 0) {
        return Failed(pszFunction, "Check PIN locked", CKR_PIN_LOCKED);
    }
    if (m_stEncryptedPIN.cbData == 0) {
        return Failed(pszFunction, "Check m_stEncryptedPIN.cbData", NTE_BAD_DATA);
    }
    return 0;
}

RESULT TokenHandle::PromptForPIN(const char* pszFunction, int nMode, SecretText& stPIN)
{
    char* pszPIN = nullptr;
    const int nResult = GetUserPIN_callback(nMode, static_cast<int>(m_ulCurrentPINCount),
                                            static_cast<int>(TOKEN_PIN_MIN_LEN),
                                            static_cast<int>(TOKEN_PIN_MAX_LEN), &pszPIN);
    // Only 0 hands over a PIN; whatever else came back in the pointer is
    // not ours to read or free.
    if (nResult != 0) {
        return Failed(pszFunction, "Check user Cancesl PIN",
                      nResult == -2 ? CKR_PIN_LOCKED : CKR_CANCEL);
    }
    if (pszPIN == nullptr) {
        return Failed(pszFunction, "Check pszPIN", CKR_CANCEL);
    }
    const size_t nLen = strlen(pszPIN);
    const bool bCopied = stPIN.Assign(pszPIN, nLen);
    CipherSecureZero(pszPIN, nLen);
    free(pszPIN);
    if (!bCopied) {
        return Failed(pszFunction, "Copy PIN", CKR_HOST_MEMORY);
    }
    return 0;
}

RESULT TokenHandle::BeginPINTry(const char* pszFunction, TokenFolderLock& stLock, SecretText& stInfo)
{
    RESULT ulResult = stLock.LockToken(m_szTokenName);
    if (ulResult != 0) {
        return Failed(pszFunction, "LockToken", ulResult);
    }
    ulResult = ReloadForPINCheck(pszFunction);
    if (ulResult != 0) {
        return ulResult;
    }
    ulResult = BuildInfo(stInfo);
    if (ulResult != 0) {
        return Failed(pszFunction, "GenerateInfo", ulResult);
    }
    // Unless the spent try is on disk the PIN is not tried at all.
    if (SpendTry() != 0) {
        return Failed(pszFunction, "GenerateTokenFile", CKR_PIN_INVALID);
    }
    m_bPINNotVerified = true;
    return 0;
}

RESULT TokenHandle::PromptAndVerify(const char* pszFunction, bool bRetry, SecretText* pKeptPIN)
{
    int nMode = 0;
    for (;;) {
        SecretText stPIN;
        RESULT ulResult = PromptForPIN(pszFunction, nMode, stPIN);
        if (ulResult != 0) {
            return ulResult;
        }
        // The file may have changed while the prompt was open.
        TokenFolderLock stLock;
        SecretText stInfo;
        ulResult = BeginPINTry(pszFunction, stLock, stInfo);
        if (ulResult != 0) {
            return ulResult;
        }
        if (OpenVerifier(stPIN.Get(), stInfo) == VerifierState::Matches) {
            if (RestoreTries() != 0) {
                return Failed(pszFunction, "GenerateTokenFile", CKR_PIN_INVALID);
            }
            m_bPINNotVerified = false;
            if (pKeptPIN != nullptr) {
                pKeptPIN->Adopt(stPIN.Release());
            }
            TraceStepSuccess(pszFunction, "AcquireProtectData");
            return 0;
        }
        stLock.Unlock();
        if (m_ulCurrentPINCount == 0) {
            return Failed(pszFunction, "Check PIN locked", CKR_PIN_LOCKED);
        }
        if (!bRetry) {
            return Failed(pszFunction, "AcquireProtectData", CKR_PIN_INCORRECT);
        }
        TraceStepFailed(pszFunction, "AcquireProtectData", CKR_PIN_INCORRECT);
        nMode = 1;
    }
}

RESULT TokenHandle::CheckPINByPrompt(bool bShowUI, bool bRetry, SecretText* pKeptPIN)
{
    const char* const pszFunction = "TokenHandle::CheckPIN";
    RESULT ulResult = ParseTokenFile(nullptr);
    if (TokenParseFailed(ulResult)) {
        return Failed(pszFunction, "ParseTokenFile", ulResult);
    }
    if (m_ulCurrentPINCount == 0) {
        return Failed(pszFunction, "Check PIN locked", CKR_PIN_LOCKED);
    }
    if (!bShowUI && !m_bPINNotVerified) {
        TraceStepSuccess(pszFunction, "Check PIN verified");
        return 0;
    }
    return PromptAndVerify(pszFunction, bRetry, pKeptPIN);
}

RESULT TokenHandle::CheckPIN(bool bShowUI, bool bRetry)
{
    return CheckPINByPrompt(bShowUI, bRetry, nullptr);
}

RESULT TokenHandle::CheckPIN(const char* pszPIN, long nPINLength)
{
    return CheckPIN(reinterpret_cast<const unsigned char*>(pszPIN), nPINLength);
}

RESULT TokenHandle::CheckPIN(const unsigned char* pbyPIN, long nPINLength)
{
    const char* const pszFunction = "TokenHandle::CheckPIN";
    if (pbyPIN == nullptr) {
        return Failed(pszFunction, "Check InitToken", CKR_ARGUMENTS_BAD);
    }
    if (nPINLength < TOKEN_PIN_MIN_LEN || nPINLength > TOKEN_PIN_MAX_LEN) {
        return Failed(pszFunction, "Check nPINLength", CKR_PIN_LEN_RANGE);
    }
    // A zero byte would cut the text short and test another PIN.
    if (memchr(pbyPIN, 0, static_cast<size_t>(nPINLength)) != nullptr) {
        return Failed(pszFunction, "Check PIN characters", CKR_PIN_INVALID);
    }
    SecretText stPIN;
    if (!stPIN.Assign(reinterpret_cast<const char*>(pbyPIN), static_cast<size_t>(nPINLength))) {
        return Failed(pszFunction, "Copy PIN", CKR_HOST_MEMORY);
    }

    TokenFolderLock stLock;
    SecretText stInfo;
    RESULT ulResult = BeginPINTry(pszFunction, stLock, stInfo);
    if (ulResult != 0) {
        return ulResult;
    }
    if (OpenVerifier(stPIN.Get(), stInfo) != VerifierState::Matches) {
        return Failed(pszFunction, "AcquireProtectData", CKR_PIN_INCORRECT);
    }
    if (RestoreTries() != 0) {
        return Failed(pszFunction, "GenerateTokenFile", CKR_PIN_INCORRECT);
    }
    m_bPINNotVerified = false;
    TraceStepSuccess(pszFunction, "AcquireProtectData");
    return 0;
}

RESULT TokenHandle::InstallNewPIN(const char* pszPIN, const SecretText& stInfo)
{
    RESULT ulResult = SealVerifier(pszPIN, stInfo);
    if (ulResult != 0) {
        return ulResult;
    }
    // The user PIN stays initialised; only the request to change it is met.
    m_ulFlags &= ~CKF_USER_PIN_TO_BE_CHANGED_BIT;
    m_ulCurrentPINCount = TOKEN_PIN_TRIES;
    return 0;
}

RESULT TokenHandle::GetRealPIN(char** ppszUserPIN, bool bShowUI, bool bRetry)
{
    const char* const pszFunction = "TokenHandle::GetRealPIN";
    if (ppszUserPIN == nullptr) {
        return Failed(pszFunction, "Check ppszUserPIN", ERROR_INVALID_PARAMETER);
    }
    RESULT ulResult = ParseTokenFile(nullptr);
    if (TokenParseFailed(ulResult)) {
        return Failed(pszFunction, "ParseTokenFile", ulResult);
    }
    if (m_ulCurrentPINCount == 0) {
        return Failed(pszFunction, "Check PIN locked", CKR_PIN_LOCKED);
    }
    SecretText stInfo;
    ulResult = BuildInfo(stInfo);
    if (ulResult != 0) {
        return Failed(pszFunction, "GenerateInfo", ulResult);
    }
    if (bShowUI || m_bPINNotVerified) {
        ulResult = PromptAndVerify(pszFunction, bRetry, nullptr);
        if (ulResult != 0) {
            return ulResult;
        }
    }
    *ppszUserPIN = stInfo.Release();
    TraceStepSuccess(pszFunction, "GenerateInfo");
    return 0;
}

RESULT TokenHandle::ReplacePIN(const char* pszFunction, const char* pszOldPIN,
                               const char* pszNewPIN, bool bMarkNotVerified)
{
    TokenFolderLock stLock;
    RESULT ulResult = stLock.LockToken(m_szTokenName);
    if (ulResult != 0) {
        return Failed(pszFunction, "LockToken", ulResult);
    }
    ulResult = ParseTokenFile(nullptr);
    if (TokenParseFailed(ulResult)) {
        return Failed(pszFunction, "ParseTokenFile", ulResult);
    }
    if (m_stEncryptedPIN.cbData == 0) {
        return Failed(pszFunction, "Check m_stEncryptedPIN.cbData", NTE_BAD_DATA);
    }
    if (m_ulCurrentPINCount == 0) {
        return Failed(pszFunction, "Check m_ulCurrentPINCount <= 0", CKR_PIN_LOCKED);
    }
    SecretText stInfo;
    ulResult = BuildInfo(stInfo);
    if (ulResult != 0) {
        return Failed(pszFunction, "GenerateInfo", ulResult);
    }
    ulResult = SpendTry();
    if (ulResult != 0) {
        return Failed(pszFunction, "GenerateTokenFile", ulResult);
    }
    if (bMarkNotVerified) {
        m_bPINNotVerified = true;
    }
    switch (OpenVerifier(pszOldPIN, stInfo)) {
    case VerifierState::NotOpened:
        return Failed(pszFunction, "Modify PIN old PIN incorect", CKR_PIN_INCORRECT);
    case VerifierState::Differs:
        // Another token name or full name than the verifier was made for, or
        // a wrong PIN whose padding happened to be valid.
        return Failed(pszFunction, "Check pszInfo", CKR_PIN_INVALID);
    case VerifierState::Matches:
        break;
    }
    ulResult = InstallNewPIN(pszNewPIN, stInfo);
    if (ulResult != 0) {
        RestoreTries();
        return Failed(pszFunction, "CreateProtectData", ulResult);
    }
    ulResult = GenerateTokenFile();
    if (ulResult != 0) {
        return Failed(pszFunction, "GenerateTokenFile", ulResult);
    }
    TraceStepSuccess(pszFunction, "GenerateTokenFile");
    return 0;
}

RESULT TokenHandle::ChangePIN(const char* pszTokenName, const char* pszOldPIN,
                              const char* pszNewPIN)
{
    const char* const pszFunction = "TokenHandle::ChangePIN";
    if (pszTokenName == nullptr || pszOldPIN == nullptr || pszNewPIN == nullptr) {
        return Failed(pszFunction, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    // A new PIN that no login would accept locks the keys away for good.
    if (!PINLengthInRange(strlen(pszNewPIN))) {
        return Failed(pszFunction, "Check pszNewPIN length", CKR_PIN_LEN_RANGE);
    }
    RESULT ulResult = CheckTokenFolder(pszFunction, "CheckFileExistInDirectory", pszTokenName);
    if (ulResult != 0) {
        return ulResult;
    }
    TokenHandle stToken(1, pszTokenName);
    return stToken.ReplacePIN(pszFunction, pszOldPIN, pszNewPIN, true);
}

RESULT TokenHandle::ModifyPIN(const char* pszOldPIN, const char* pszNewPIN)
{
    const char* const pszFunction = "TokenHandle::ModifyPIN";
    if (pszOldPIN == nullptr || pszNewPIN == nullptr) {
        return Failed(pszFunction, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    if (!PINLengthInRange(strlen(pszNewPIN))) {
        return Failed(pszFunction, "Check pszNewPIN length", CKR_PIN_LEN_RANGE);
    }
    return ReplacePIN(pszFunction, pszOldPIN, pszNewPIN, false);
}

RESULT TokenHandle::SetPIN(char* pszUserPIN)
{
    const char* const pszFunction = "TokenHandle::SetPIN";
    if (pszUserPIN == nullptr) {
        return Failed(pszFunction, "Check pszUserPIN", ERROR_INVALID_PARAMETER);
    }
    SecretText stPIN;
    stPIN.Adopt(pszUserPIN);
    if (!PINLengthInRange(stPIN.Length())) {
        return Failed(pszFunction, "Check pszUserPIN length", CKR_PIN_LEN_RANGE);
    }
    TokenFolderLock stLock;
    RESULT ulResult = stLock.LockToken(m_szTokenName);
    if (ulResult != 0) {
        return Failed(pszFunction, "LockToken", ulResult);
    }
    ulResult = ParseTokenFile(nullptr);
    if (TokenParseFailed(ulResult)) {
        return Failed(pszFunction, "ParseTokenFile", ulResult);
    }
    if ((m_ulFlags & CKF_USER_PIN_INITIALIZED_BIT) != 0) {
        return Failed(pszFunction, "Check PIN initilize", E_FAIL);
    }
    SecretText stInfo;
    ulResult = BuildInfo(stInfo);
    if (ulResult != 0) {
        return Failed(pszFunction, "GenerateInfo", ulResult);
    }
    ulResult = InstallNewPIN(stPIN.Get(), stInfo);
    if (ulResult != 0) {
        return Failed(pszFunction, "CreateProtectData", ulResult);
    }
    m_bPINNotVerified = true;
    ulResult = GenerateTokenFile();
    if (ulResult != 0) {
        return Failed(pszFunction, "GenerateTokenFile", ulResult);
    }
    return 0;
}
