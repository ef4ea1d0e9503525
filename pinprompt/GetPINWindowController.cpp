#include "pinprompt/GetPINWindowController.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pinprompt/PinVeil.h"

GetPINWindowController::GetPINWindowController(int nMinPINSize, int nMaxPINSize, int nInitState,
                                               int nLeftTimes)
    : m_nInitState(nInitState),
      m_nMaxPINSize(nMaxPINSize),
      m_nMinPINSize(nMinPINSize),
      m_nLeftTimes(nLeftTimes),
      m_nReturnCode(-1)
{
    std::memset(m_szUserPIN, 0, sizeof(m_szUserPIN));
}

GetPINWindowController::~GetPINWindowController()
{
    explicit_bzero(m_szUserPIN, sizeof(m_szUserPIN));
}

void GetPINWindowController::WindowDidLoad()
{
    m_stTexts.strTitle = getLocalizedString("PINTitle");
    m_stTexts.strPrompt = getLocalizedString("PINPrompt");
    m_stTexts.strOK = getLocalizedString("OK");
    m_stTexts.strCancel = getLocalizedString("Cancel");
    m_stTexts.strError = m_nInitState == 1 ? getLocalizedString("RetryPIN") : "";

    // The localized prefix carries its own punctuation: "%@%d".
    char szLeftTimes[512];
    std::snprintf(szLeftTimes, sizeof(szLeftTimes), "%s%d", getLocalizedString("LeftTimes"),
                  m_nLeftTimes);
    m_stTexts.strDescription = getLocalizedString("EnterPIN");
    m_stTexts.strDescription += "\n";
    m_stTexts.strDescription += szLeftTimes;
}

bool GetPINWindowController::ClickOK(const PinText& pinText)
{
    // Lengths are UTF-8 bytes, the unit the token checks; the buffer keeps
    // at most 127 of them, and a PIN with a NUL in it would be handed out
    // cut short, so neither is accepted.
    size_t nSize = pinText.Size();
    bool bValid = !pinText.HasNul() && nSize < sizeof(m_szUserPIN) && m_nMinPINSize >= 0 &&
                  nSize >= static_cast<size_t>(m_nMinPINSize) && m_nMaxPINSize >= 0 &&
                  nSize <= static_cast<size_t>(m_nMaxPINSize);
    if (!bValid) {
        m_stTexts.strError = getLocalizedString("PINLengthError");
        m_nReturnCode = -1;
        return false;
    }
    explicit_bzero(m_szUserPIN, sizeof(m_szUserPIN));
    std::memcpy(m_szUserPIN, pinText.Data(), nSize);
    m_nReturnCode = 0;
    m_bStopped = true;
    return true;
}

void GetPINWindowController::ClickCancel()
{
    m_nReturnCode = -1;
    m_bStopped = true;
}

void GetPINWindowController::RunModal(PinDialog& dialog)
{
    WindowDidLoad();
    PinText pinText;
    while (!m_bStopped) {
        pinText.Clear();
        if (dialog.AskPIN(m_stTexts, pinText) == PinAnswer::OK) {
            ClickOK(pinText);
        } else {
            ClickCancel();
        }
    }
}

int GetPINWindowController::GetUserPIN(char** ppszPIN)
{
    if (m_nReturnCode != 0) {
        return m_nReturnCode;
    }
    size_t nSize = std::strlen(m_szUserPIN);
    char* pszPIN = static_cast<char*>(std::malloc(nSize + 1));
    if (pszPIN == nullptr) {
        return -1;
    }
    std::memcpy(pszPIN, m_szUserPIN, nSize + 1);
    *ppszPIN = pszPIN;
    return 0;
}
