// Session, login and random-number entry points.
// Not offered yet: each answers CKR_FUNCTION_NOT_SUPPORTED.
#include "core/token/ResultCodes.h"
#include "module/cryptoki/EntryExport.h"
#include "module/cryptoki/EntryLock.h"

extern "C" {

P11_EXPORT CK_RV C_OpenSession(CK_SLOT_ID, CK_FLAGS, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_CloseSession(CK_SESSION_HANDLE)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_CloseAllSessions(CK_SLOT_ID)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_GetSessionInfo(CK_SESSION_HANDLE, CK_SESSION_INFO_PTR)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_Login(CK_SESSION_HANDLE, CK_USER_TYPE, CK_UTF8CHAR_PTR, CK_ULONG)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_Logout(CK_SESSION_HANDLE)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_SeedRandom(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

P11_EXPORT CK_RV C_GenerateRandom(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

}  // extern "C"
