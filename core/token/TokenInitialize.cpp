#include "core/token/TokenInitialize.h"

#include "core/crypto/Cipher.h"
#include "core/trace/TraceStep.h"

RESULT TokenInitialize()
{
    RESULT ulResult = Cipher::CipherInitialize();
    if (ulResult != 0) {
        TraceStepFailed("TokenInitialize", "Cipher::CipherInitialize", ulResult);
        return E_FAIL;
    }
    TraceStepSuccess("TokenInitialize", "Cipher::CipherInitialize");
    return 0;
}

RESULT TokenUninitialize()
{
    RESULT ulResult = Cipher::CipherUninitialize();
    if (ulResult != 0) {
        TraceStepFailed("TokenUninitialize", "Cipher::CipherUninitialize", ulResult);
        return E_FAIL;
    }
    TraceStepSuccess("TokenUninitialize", "Cipher::CipherUninitialize");
    return 0;
}
