#include "module/sessions/SessionRecords.h"

void ReleaseSessionSearchInfo(_SessionSearchInfo* pstSearchInfo)
{
    if (pstSearchInfo == nullptr) {
        return;
    }
    if (pstSearchInfo->pTemplate != nullptr) {
        for (unsigned long i = 0; i < pstSearchInfo->ulTemplateCount; ++i) {
            delete[] static_cast<unsigned char*>(pstSearchInfo->pTemplate[i].pValue);
        }
        delete[] pstSearchInfo->pTemplate;
    }
    delete pstSearchInfo;
}
