// The dialog as a pinentry program shows it, driven over the Assuan
// protocol. The program is started on first use and ended with the dialog.
#pragma once

#include <string>

#include <assuan.h>

#include "pinprompt/PinDialog.h"
#include "pinprompt/PinentryProcess.h"

class PinentryDialog final : public PinDialog {
public:
    PinentryDialog() = default;
    PinentryDialog(const PinentryDialog&) = delete;
    PinentryDialog& operator=(const PinentryDialog&) = delete;
    ~PinentryDialog() override;

    PinAnswer AskPIN(const _dialogTexts& stTexts, PinText& pinText) override;
    bool ShowAlert(const char* pszTitle, const char* pszText, const char* pszButton) override;

private:
    enum class Reply {
        OK,
        Refused,  // the program answered ERR; the connection is still good
        Broken,   // it died, hung up or talked nonsense
    };

    bool Start();
    // Sends one command and reads up to its final OK or ERR; data lines go
    // into pData. A broken connection stays broken.
    Reply Transact(const std::string& strCommand, PinText* pData);
    // A setting the program may refuse without harm; false if the
    // connection broke.
    bool SendSetting(const char* pszCommand, const std::string& strText);

    PinentryProcess m_process;
    assuan_context_t m_hContext = nullptr;
    bool m_bStarted = false;
    bool m_bBroken = false;
};
