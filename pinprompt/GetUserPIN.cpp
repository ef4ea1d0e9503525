#include "pinprompt/GetPINWindowController.h"
#include "pinprompt/PinVeil.h"
#include "pinprompt/PinentryDialog.h"

namespace {

int AskUser(int initState, int leftTimes, int minPINSize, int maxPINSize, char** ppszPIN)
{
    // The alerts answer for the token's state, which holds whether or not
    // the alert could be shown.
    if (leftTimes <= 0) {
        PinentryDialog alert;
        alert.ShowAlert(getLocalizedString("Error"), getLocalizedString("PINLocked"), "OK");
        return -2;
    }
    if (initState == 2) {
        PinentryDialog alert;
        alert.ShowAlert(getLocalizedString("Error"), getLocalizedString("DefaultPinNotSign"), "OK");
        return -3;
    }

    // The program runs in its own process, so any thread may ask.
    PinentryDialog dialog;
    GetPINWindowController controller(minPINSize, maxPINSize, initState, leftTimes);
    controller.RunModal(dialog);
    return controller.GetUserPIN(ppszPIN);
}

}  // namespace

extern "C" int GetUserPIN(int initState, int leftTimes, int minPINSize, int maxPINSize,
                          char** ppszPIN)
{
    if (ppszPIN == nullptr) {
        return -1;
    }
    // Nothing may unwind into a C caller; out of memory is no PIN.
    try {
        return AskUser(initState, leftTimes, minPINSize, maxPINSize, ppszPIN);
    } catch (...) {
        return -1;
    }
}
