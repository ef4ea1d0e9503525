#include "core/storage/ProtectData.h"

#include <cstring>
#include <new>
#include <string>

#include "core/crypto/Cipher.h"
#include "core/crypto/SecretMemory.h"
#include "core/platform/Platform.h"
#include "core/trace/TraceStep.h"

namespace {

void WipeString(std::string& strText)
{
    CipherSecureZero(strText.data(), strText.size());
    strText.clear();
}

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

// Builds the pass string and runs the cipher in one direction.
RESULT ProtectData(bool bSeal, const uint8_t* pbyDataIn, long nDataInSize, const char* pszPIN,
                   uint8_t** ppbyDataOut, int* pnDataOutSize)
{
    const char* const pszFunction = bSeal ? "CreateProtectData" : "AcquireProtectData";
    if (pbyDataIn == nullptr) {
        return Failed(pszFunction, "Check pbyDataIn", ERROR_INVALID_PARAMETER);
    }
    if (nDataInSize <= 0) {
        return Failed(pszFunction, "Check nDataInSize", ERROR_INVALID_PARAMETER);
    }
    if (pszPIN == nullptr) {
        return Failed(pszFunction, "Check pszPIN", ERROR_INVALID_PARAMETER);
    }
    if (ppbyDataOut == nullptr || pnDataOutSize == nullptr) {
        return Failed(pszFunction, "Check ppbyDataOut", ERROR_INVALID_PARAMETER);
    }
    TraceStepSuccess(pszFunction, "Check parameter");

    SecretText stIdentity;
    char* pszIdentity = nullptr;
    RESULT ulResult = GetUserInfo(&pszIdentity);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetUserInfo", ulResult);
    }
    stIdentity.Adopt(pszIdentity);
    TraceStepSuccess(pszFunction, "GetUserInfo");

    const size_t nPINLen = strlen(pszPIN);
    const size_t nPassLen = stIdentity.Length() + 1 + nPINLen;
    SecretText stPass;
    char* pszPass = new (std::nothrow) char[nPassLen + 1]();
    if (pszPass == nullptr) {
        return Failed(pszFunction, "New pass string", E_FAIL);
    }
    stPass.Adopt(pszPass);
    memcpy(pszPass, stIdentity.Get(), stIdentity.Length());
    pszPass[stIdentity.Length()] = '#';
    memcpy(pszPass + stIdentity.Length() + 1, pszPIN, nPINLen);
    stIdentity.Clear();

    uint8_t* pbyOut = nullptr;
    int nOutLen = 0;
    ulResult = bSeal ? Cipher::SM4EncryptByPin(pbyDataIn, nDataInSize, stPass.Get(), &pbyOut,
                                               &nOutLen)
                     : Cipher::SM4DecryptByPin(pbyDataIn, nDataInSize, stPass.Get(), &pbyOut,
                                               &nOutLen);
    const char* const pszCipherLabel =
        bSeal ? "Cipher::SM4EncryptByPin" : "Cipher::SM4DecryptByPin";
    if (ulResult != 0) {
        return Failed(pszFunction, pszCipherLabel, ulResult);
    }
    TraceStepSuccess(pszFunction, pszCipherLabel);
    *ppbyDataOut = pbyOut;
    *pnDataOutSize = nOutLen;
    return 0;
}

}  // namespace

RESULT GetUserInfo(char** ppszUserInfo)
{
    if (ppszUserInfo == nullptr) {
        return Failed(__func__, "Check ppszUserInfo", ERROR_INVALID_PARAMETER);
    }
    _machineIdentity stMachine;
    PlatformGetMachineIdentity(stMachine);
    std::string strLogin;
    if (PlatformGetLoginName(strLogin) != 0) {
        // Left out like any part the platform does not deliver.
        strLogin.clear();
    }
    const size_t nLen =
        stMachine.strPlatformUUID.size() + stMachine.strSerialNumber.size() + strLogin.size();
    char* pszInfo = new (std::nothrow) char[nLen + 1]();
    if (pszInfo != nullptr) {
        char* pszAt = pszInfo;
        for (const std::string* pPart :
             {&stMachine.strPlatformUUID, &stMachine.strSerialNumber, &strLogin}) {
            memcpy(pszAt, pPart->data(), pPart->size());
            pszAt += pPart->size();
        }
    }
    WipeString(stMachine.strPlatformUUID);
    WipeString(stMachine.strSerialNumber);
    WipeString(strLogin);
    if (pszInfo == nullptr) {
        return Failed(__func__, "New user info", ERROR_INVALID_PARAMETER);
    }
    *ppszUserInfo = pszInfo;
    return 0;
}

RESULT CreateProtectData(const uint8_t* pbyDataIn, long nDataInSize, const char* pszPIN,
                         uint8_t** ppbyDataOut, int* pnDataOutSize)
{
    return ProtectData(true, pbyDataIn, nDataInSize, pszPIN, ppbyDataOut, pnDataOutSize);
}

RESULT AcquireProtectData(const uint8_t* pbyDataIn, long nDataInSize, const char* pszPIN,
                          uint8_t** ppbyDataOut, int* pnDataOutSize)
{
    return ProtectData(false, pbyDataIn, nDataInSize, pszPIN, ppbyDataOut, pnDataOutSize);
}
