// The token core's PIN prompt: the pinentry-driven dialog of libpinveil.so.
// The dialog runs in a process of its own, so it is asked on the calling
// thread, with the arguments as they come.
#include "core/token/PinCallback.h"
#include "pinprompt/PinVeil.h"

extern "C" int GetUserPIN_callback(int initState, int leftTimes, int minPINSize, int maxPINSize,
                                   char** ppszPIN)
{
    return GetUserPIN(initState, leftTimes, minPINSize, maxPINSize, ppszPIN);
}
