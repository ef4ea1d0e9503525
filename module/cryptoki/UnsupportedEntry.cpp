// Functions present in the function list that the token does not offer.
// Each ignores its arguments, traces why and returns its code, at any time.
#include "core/token/ResultCodes.h"
#include "module/cryptoki/EntryCheck.h"
#include "module/cryptoki/EntryExport.h"
#include "module/cryptoki/EntryLock.h"

namespace {
CK_RV Refuse(const char* pszFunction, const char* pszMessage, CK_RV rv = CKR_FUNCTION_NOT_SUPPORTED)
{
    EntryLock lock;
    return EntryFail(pszFunction, pszMessage, rv);
}

const char* const kVerifyParts = "Not support C_VerifyUpdate and C_VerifyFinal, use C_Verify instead";
}  // namespace

extern "C" {

P11_EXPORT CK_RV C_GetOperationState(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return Refuse("C_GetOperationState", "Don't support C_GetOperationState");
}

P11_EXPORT CK_RV C_SetOperationState(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_OBJECT_HANDLE,
                                     CK_OBJECT_HANDLE)
{
    return Refuse("C_SetOperationState", "Don't support C_SetOperationState");
}

P11_EXPORT CK_RV C_CopyObject(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG,
                              CK_OBJECT_HANDLE_PTR)
{
    return Refuse("C_CopyObject", "Unsupport C_CopyObject now");
}

P11_EXPORT CK_RV C_GetObjectSize(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ULONG_PTR)
{
    return Refuse("C_GetObjectSize", "Unsupport C_GetObjectSize now");
}

P11_EXPORT CK_RV C_SetAttributeValue(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG)
{
    return Refuse("C_SetAttributeValue", "Unsupport C_SetAttributeValue now");
}

P11_EXPORT CK_RV C_DigestKey(CK_SESSION_HANDLE, CK_OBJECT_HANDLE)
{
    return Refuse("C_DigestKey", "Not support C_DigestKey");
}

P11_EXPORT CK_RV C_SignRecoverInit(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE)
{
    return Refuse("C_SignRecoverInit", "Not support C_SignRecoverInit");
}

P11_EXPORT CK_RV C_SignRecover(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return Refuse("C_SignRecover", "Not support C_SignRecover");
}

P11_EXPORT CK_RV C_VerifyUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG)
{
    return Refuse("C_VerifyUpdate", kVerifyParts);
}

P11_EXPORT CK_RV C_VerifyFinal(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG)
{
    return Refuse("C_VerifyFinal", kVerifyParts);
}

P11_EXPORT CK_RV C_VerifyRecoverInit(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE)
{
    return Refuse("C_VerifyRecoverInit", "Not support C_VerifyRecoverInit");
}

P11_EXPORT CK_RV C_VerifyRecover(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return Refuse("C_VerifyRecover", "Not support C_VerifyRecover");
}

P11_EXPORT CK_RV C_DigestEncryptUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return Refuse("C_DigestEncryptUpdate", "Not support C_DigestEncryptUpdate");
}

P11_EXPORT CK_RV C_DecryptDigestUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return Refuse("C_DecryptDigestUpdate", "Not support C_DecryptDigestUpdate");
}

P11_EXPORT CK_RV C_SignEncryptUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return Refuse("C_SignEncryptUpdate", "Not support C_SignEncryptUpdate");
}

P11_EXPORT CK_RV C_DecryptVerifyUpdate(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR)
{
    return Refuse("C_DecryptVerifyUpdate", "Not support C_DecryptVerifyUpdate");
}

P11_EXPORT CK_RV C_GenerateKey(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_ATTRIBUTE_PTR, CK_ULONG,
                               CK_OBJECT_HANDLE_PTR)
{
    return Refuse("C_GenerateKey", "Not support C_GenerateKey");
}

P11_EXPORT CK_RV C_WrapKey(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE, CK_OBJECT_HANDLE,
                           CK_BYTE_PTR, CK_ULONG_PTR)
{
    return Refuse("C_WrapKey", "Not support C_WrapKey");
}

P11_EXPORT CK_RV C_DeriveKey(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR,
                             CK_ULONG, CK_OBJECT_HANDLE_PTR)
{
    return Refuse("C_DeriveKey", "Not support C_DeriveKey");
}

P11_EXPORT CK_RV C_GetFunctionStatus(CK_SESSION_HANDLE)
{
    return Refuse("C_GetFunctionStatus", "Not support C_GetFunctionStatus");
}

P11_EXPORT CK_RV C_CancelFunction(CK_SESSION_HANDLE)
{
    return Refuse("C_CancelFunction", "Not support C_CancelFunction");
}

P11_EXPORT CK_RV C_SetPIN(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR, CK_ULONG, CK_UTF8CHAR_PTR, CK_ULONG)
{
    return Refuse("C_SetPIN", "Not support set pin, please use cert manager");
}

P11_EXPORT CK_RV C_InitPIN(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR, CK_ULONG)
{
    return Refuse("C_InitPIN", "Don't support C_InitPIN, because have no SO user only custom user",
                  CKR_FUNCTION_FAILED);
}

P11_EXPORT CK_RV C_WaitForSlotEvent(CK_FLAGS, CK_SLOT_ID_PTR, CK_VOID_PTR)
{
    return Refuse("C_WaitForSlotEvent", "Software pkcs#11 library token always be present, no slot event",
                  CKR_FUNCTION_FAILED);
}

}  // extern "C"
