#include "pinprompt/PinentryDialog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

ssize_t ReadRetrying(assuan_context_t, assuan_fd_t fd, void* pbyBuffer, size_t nSize)
{
    ssize_t nRead;
    do {
        nRead = read(fd, pbyBuffer, nSize);
    } while (nRead < 0 && errno == EINTR);
    return nRead;
}

// A pinentry that died must give an error, not a SIGPIPE that would end the
// host process.
ssize_t WriteWithoutSigpipe(assuan_context_t, assuan_fd_t fd, const void* pbyBuffer, size_t nSize)
{
    ssize_t nWritten;
    do {
        nWritten = send(fd, pbyBuffer, nSize, MSG_NOSIGNAL);
    } while (nWritten < 0 && errno == EINTR);
    return nWritten;
}

// Assuan arguments are percent-escaped: '%' and every control character,
// line breaks included.
std::string Escaped(const std::string& strText)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string strOut;
    for (unsigned char c : strText) {
        if (c == '%' || c < 0x20 || c == 0x7F) {
            strOut += '%';
            strOut += kHex[c >> 4];
            strOut += kHex[c & 0x0F];
        } else {
            strOut += static_cast<char>(c);
        }
    }
    return strOut;
}

// The terminal pinentry-curses and pinentry-tty should use: GPG_TTY, else
// the one on stdin, else the controlling terminal.
std::string TerminalName()
{
    if (const char* pszTty = std::getenv("GPG_TTY"); pszTty != nullptr && pszTty[0] != '\0') {
        return pszTty;
    }
    if (isatty(STDIN_FILENO)) {
        if (const char* pszTty = ttyname(STDIN_FILENO); pszTty != nullptr) {
            return pszTty;
        }
    }
    if (access("/dev/tty", R_OK | W_OK) == 0) {
        int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            close(fd);
            return "/dev/tty";
        }
    }
    return "";
}

}  // namespace

PinentryDialog::~PinentryDialog()
{
    // A BYE answered lets the program end in order; release then closes the
    // connection and wipes the line buffers.
    if (m_hContext != nullptr) {
        Transact("BYE", nullptr);
        assuan_release(m_hContext);
        m_hContext = nullptr;
    }
    m_process.Stop(m_bBroken);
}

bool PinentryDialog::Start()
{
    if (m_bStarted) {
        return !m_bBroken;
    }
    m_bStarted = true;
    m_bBroken = true;

    int fd = m_process.Start(FindPinentryProgram());
    if (fd < 0) {
        return false;
    }
    if (assuan_new(&m_hContext) != 0) {
        close(fd);
        return false;
    }
    // Nothing of the exchange may reach a log, whatever ASSUAN_DEBUG says.
    assuan_set_flag(m_hContext, ASSUAN_NO_LOGGING, 1);
    struct assuan_system_hooks stHooks = {
        ASSUAN_SYSTEM_HOOKS_VERSION, __assuan_usleep,  __assuan_pipe,   __assuan_close,
        ReadRetrying,                WriteWithoutSigpipe, __assuan_recvmsg, __assuan_sendmsg,
        __assuan_spawn,              __assuan_waitpid, __assuan_socketpair, __assuan_socket,
        __assuan_connect,
    };
    assuan_ctx_set_system_hooks(m_hContext, &stHooks);
    // From here the context owns the descriptor; this reads the greeting.
    if (assuan_socket_connect_fd(m_hContext, fd, 0) != 0) {
        return false;
    }
    m_bBroken = false;

    // Without a terminal pinentry-tty and -curses answer as if cancelled;
    // the graphical ones need the display.
    std::string strTty = TerminalName();
    if (!strTty.empty() && Transact("OPTION ttyname=" + strTty, nullptr) == Reply::Broken) {
        return false;
    }
    if (const char* pszTerm = std::getenv("TERM"); pszTerm != nullptr && pszTerm[0] != '\0') {
        if (Transact("OPTION ttytype=" + std::string(pszTerm), nullptr) == Reply::Broken) {
            return false;
        }
    }
    if (const char* pszDisplay = std::getenv("DISPLAY");
        pszDisplay != nullptr && pszDisplay[0] != '\0') {
        if (Transact("OPTION display=" + std::string(pszDisplay), nullptr) == Reply::Broken) {
            return false;
        }
    }
    return true;
}

PinentryDialog::Reply PinentryDialog::Transact(const std::string& strCommand, PinText* pData)
{
    if (m_bBroken || m_hContext == nullptr) {
        return Reply::Broken;
    }
    if (assuan_write_line(m_hContext, strCommand.c_str()) != 0) {
        m_bBroken = true;
        return Reply::Broken;
    }
    for (;;) {
        char* pszLine = nullptr;
        int nLineSize = 0;
        assuan_response_t nResponse = ASSUAN_RESPONSE_ERROR;
        int nOffset = 0;
        if (assuan_client_read_response(m_hContext, &pszLine, &nLineSize) != 0 ||
            assuan_client_parse_response(m_hContext, pszLine, nLineSize, &nResponse, &nOffset) !=
                0) {
            m_bBroken = true;
            return Reply::Broken;
        }
        switch (nResponse) {
        case ASSUAN_RESPONSE_OK:
            return Reply::OK;
        case ASSUAN_RESPONSE_ERROR:
            return Reply::Refused;
        case ASSUAN_RESPONSE_DATA:
            if (pData == nullptr) {
                m_bBroken = true;
                return Reply::Broken;
            }
            // Already unescaped in the line buffer; wipe it once copied.
            pData->Append(pszLine + nOffset, static_cast<size_t>(nLineSize - nOffset));
            explicit_bzero(pszLine, static_cast<size_t>(nLineSize));
            break;
        case ASSUAN_RESPONSE_INQUIRE:
            // Nothing is ever offered; an empty answer keeps the exchange going.
            if (assuan_write_line(m_hContext, "END") != 0) {
                m_bBroken = true;
                return Reply::Broken;
            }
            break;
        default:
            // Status, comment and END lines carry nothing we use.
            break;
        }
    }
}

bool PinentryDialog::SendSetting(const char* pszCommand, const std::string& strText)
{
    return Transact(std::string(pszCommand) + " " + Escaped(strText), nullptr) != Reply::Broken;
}

PinAnswer PinentryDialog::AskPIN(const _dialogTexts& stTexts, PinText& pinText)
{
    if (!Start()) {
        return PinAnswer::Failed;
    }
    bool bShown = SendSetting("SETTITLE", stTexts.strTitle) &&
                  SendSetting("SETDESC", stTexts.strDescription) &&
                  SendSetting("SETPROMPT", stTexts.strPrompt) &&
                  (stTexts.strError.empty() || SendSetting("SETERROR", stTexts.strError)) &&
                  SendSetting("SETOK", stTexts.strOK) &&
                  SendSetting("SETCANCEL", stTexts.strCancel);
    if (!bShown) {
        return PinAnswer::Failed;
    }
    assuan_begin_confidential(m_hContext);
    Reply nReply = Transact("GETPIN", &pinText);
    assuan_end_confidential(m_hContext);
    switch (nReply) {
    case Reply::OK:
        return PinAnswer::OK;
    case Reply::Refused:
        pinText.Clear();
        return PinAnswer::Cancel;
    case Reply::Broken:
        break;
    }
    pinText.Clear();
    return PinAnswer::Failed;
}

bool PinentryDialog::ShowAlert(const char* pszTitle, const char* pszText, const char* pszButton)
{
    if (!Start()) {
        return false;
    }
    bool bShown = SendSetting("SETTITLE", pszTitle) && SendSetting("SETDESC", pszText) &&
                  SendSetting("SETOK", pszButton);
    return bShown && Transact("MESSAGE", nullptr) != Reply::Broken;
}
