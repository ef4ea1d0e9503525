// Attribute reading.
// Not offered yet: each answers CKR_FUNCTION_NOT_SUPPORTED.
#include "core/token/ResultCodes.h"
#include "module/cryptoki/EntryExport.h"
#include "module/cryptoki/EntryLock.h"

extern "C" {

P11_EXPORT CK_RV C_GetAttributeValue(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG)
{
    EntryLock lock;
    return CKR_FUNCTION_NOT_SUPPORTED;
}

}  // extern "C"
