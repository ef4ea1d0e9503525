// Object entry points: creation, destruction, search, key generation and unwrapping.
// Not offered yet: each answers CKR_FUNCTION_NOT_SUPPORTED.
#include "core/token/ResultCodes.h"
#include "module/cryptoki/EntryExport.h"
#include "module/cryptoki/EntryLock.h"

extern "C" {

P11_EXPORT CK_RV C_CreateObject(CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG, CK_OBJECT_HANDLE_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_DestroyObject(CK_SESSION_HANDLE, CK_OBJECT_HANDLE)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_FindObjectsInit(CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_FindObjects(CK_SESSION_HANDLE, CK_OBJECT_HANDLE_PTR, CK_ULONG, CK_ULONG_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_FindObjectsFinal(CK_SESSION_HANDLE)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_GenerateKeyPair(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_ATTRIBUTE_PTR, CK_ULONG, CK_ATTRIBUTE_PTR, CK_ULONG, CK_OBJECT_HANDLE_PTR, CK_OBJECT_HANDLE_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_UnwrapKey(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_ATTRIBUTE_PTR, CK_ULONG, CK_OBJECT_HANDLE_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

}  // extern "C"
