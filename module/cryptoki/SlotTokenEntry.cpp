// Slot, token and mechanism entry points.
// Not offered yet: each answers CKR_FUNCTION_NOT_SUPPORTED.
#include "core/token/ResultCodes.h"
#include "module/cryptoki/EntryExport.h"
#include "module/cryptoki/EntryLock.h"

extern "C" {

P11_EXPORT CK_RV C_GetSlotList(CK_BBOOL, CK_SLOT_ID_PTR, CK_ULONG_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_GetSlotInfo(CK_SLOT_ID, CK_SLOT_INFO_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_GetTokenInfo(CK_SLOT_ID, CK_TOKEN_INFO_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_GetMechanismList(CK_SLOT_ID, CK_MECHANISM_TYPE_PTR, CK_ULONG_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_GetMechanismInfo(CK_SLOT_ID, CK_MECHANISM_TYPE, CK_MECHANISM_INFO_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_InitToken(CK_SLOT_ID, CK_UTF8CHAR_PTR, CK_ULONG, CK_UTF8CHAR_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

}  // extern "C"
