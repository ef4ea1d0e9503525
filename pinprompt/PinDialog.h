// What the controller needs from a dialog: show the PIN prompt with given
// texts and wait for the user, or show an alert. The pinentry driver is the
// real one; the controller's logic does not depend on the protocol.
#pragma once

#include <string>

#include "pinprompt/PinText.h"

struct _dialogTexts {
    std::string strTitle;
    std::string strDescription;
    std::string strPrompt;
    std::string strError;  // empty: no error line
    std::string strOK;
    std::string strCancel;
};

enum class PinAnswer {
    OK,      // the user pressed OK; the PIN text holds what was typed
    Cancel,  // the user cancelled
    Failed,  // no dialog could be shown or it broke down
};

class PinDialog {
public:
    virtual ~PinDialog() = default;

    virtual PinAnswer AskPIN(const _dialogTexts& stTexts, PinText& pinText) = 0;
    // False when the alert could not be shown.
    virtual bool ShowAlert(const char* pszTitle, const char* pszText, const char* pszButton) = 0;
};
