#include "module/sessions/SessionHandleID.h"

#include "core/trace/TraceStep.h"

RESULT ConstructSessionHandleID(unsigned long ulSlotID, unsigned long ulSessionID,
                                CK_SESSION_HANDLE* phSession)
{
    static const char* const kFn = "ConstructSessionHandleID";
    if (phSession == nullptr) {
        TraceStepFailed(kFn, "Check phSession", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (ulSlotID == 0 || ulSlotID > SESSION_SLOT_ID_MAX) {
        TraceStepFailed(kFn, "Check ulSlotID", CKR_SLOT_ID_INVALID);
        return CKR_SLOT_ID_INVALID;
    }
    if (ulSessionID == 0 || ulSessionID > SESSION_NUMBER_MAX) {
        TraceStepFailed(kFn, "Check ulSessionID", CKR_SLOT_ID_INVALID);
        return CKR_SLOT_ID_INVALID;
    }
    *phSession = (static_cast<CK_SESSION_HANDLE>(ulSlotID) << 16) | (ulSessionID & 0xFFFF);
    return 0;
}

RESULT GetSlotAndSessionFromSessionHandleID(CK_SESSION_HANDLE hSession, unsigned long* pulSlotID,
                                            unsigned long* pulSessionID)
{
    static const char* const kFn = "GetSlotAndSessionFromSessionHandleID";
    if (pulSlotID == nullptr || pulSessionID == nullptr) {
        TraceStepFailed(kFn, "Check pulSlotID and pulSessionID", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (hSession == 0) {
        TraceStepFailed(kFn, "Check ulSessionHandleID", CKR_SESSION_HANDLE_INVALID);
        return CKR_SESSION_HANDLE_INVALID;
    }
    *pulSlotID = (hSession >> 16) & 0xFFFF;
    *pulSessionID = hSession & 0xFFFF;
    return 0;
}
