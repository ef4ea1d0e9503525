// The PIN dialog's logic: which texts it shows, when a typed PIN is
// accepted, and what is handed out. One controller per prompt.
#pragma once

#include "pinprompt/PinDialog.h"
#include "pinprompt/PinText.h"

class GetPINWindowController {
public:
    // initPINWindow: note the minimum length comes first.
    GetPINWindowController(int nMinPINSize, int nMaxPINSize, int nInitState, int nLeftTimes);
    GetPINWindowController(const GetPINWindowController&) = delete;
    GetPINWindowController& operator=(const GetPINWindowController&) = delete;
    virtual ~GetPINWindowController();

    // Shows the dialog until a PIN of valid length is accepted or the user
    // cancels.
    void RunModal(PinDialog& dialog);

    // m_nReturnCode; when it is 0 *ppszPIN also receives a malloc'd copy of
    // the PIN. A failed allocation hands out nothing and answers -1.
    int GetUserPIN(char** ppszPIN);

    // Dialog steps, driven by RunModal.
    void WindowDidLoad();
    // True when the PIN is accepted and the dialog ends.
    bool ClickOK(const PinText& pinText);
    void ClickCancel();

    const _dialogTexts& Texts() const { return m_stTexts; }

private:
    int m_nInitState;
    int m_nMaxPINSize;
    int m_nMinPINSize;
    int m_nLeftTimes;
    int m_nReturnCode;
    char m_szUserPIN[128];

    _dialogTexts m_stTexts;
    bool m_bStopped = false;
};
