// TokenHandle: one token folder in memory.  It reads and writes the token
// file ".config", keeps the PIN retry counter, verifies and changes the
// user PIN, re-initialises the token and owns the token's object table.
//
// The PIN is never stored: the token file holds a verifier, the token info
// string sealed under the PIN.  A PIN is right when the verifier opens to
// exactly that string.  Nothing is cached between objects: every PIN
// operation re-reads the token file and rewrites it, holding the token
// folder's lock from the re-read to the rewrite (never across the prompt),
// so processes that check PINs at the same time cannot lose a decrement.
// The lock is not re-entrant: a caller holding it (a container write, say)
// must not call the PIN operations, which take it themselves.
//
// Strings handed out are array-new blocks owned by the caller; the token
// info string is a secret and is wiped by its receiver.
#pragma once

#include <cstdint>
#include <vector>

#include "core/token/Records.h"
#include "core/token/ResultCodes.h"

class SessionHandle;
class SecretText;
class TokenFolderLock;

constexpr const char* TOKEN_FILE_NAME = ".config";
constexpr uint32_t TOKEN_FILE_TAG = 0x07DD0044;
constexpr uint32_t TOKEN_FILE_VERSION = 0x00030000;
constexpr unsigned int TOKEN_FILE_MAX_SIZE = 10240;

constexpr int TOKEN_LABEL_LEN = 32;
constexpr int TOKEN_MANUFACTURER_LEN = 32;
constexpr int TOKEN_MODEL_LEN = 16;
constexpr int TOKEN_SERIAL_LEN = 16;

// CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED |
// CKF_USER_PIN_TO_BE_CHANGED
constexpr uint32_t TOKEN_DEFAULT_FLAGS = 0x0008040C;
constexpr uint32_t TOKEN_MIN_MAX_FILE_COUNT = 1024;
constexpr uint32_t TOKEN_PIN_TRIES = 6;
constexpr long TOKEN_PIN_MIN_LEN = 6;
constexpr long TOKEN_PIN_MAX_LEN = 16;
// 72 hex characters of the MD5-and-SHA-1 digest.
constexpr int TOKEN_INFO_LEN = 72;

// What C_InitToken receives when the user is to be asked for the PIN:
// 0x01 0x08 "50739162" and a terminating zero byte.
inline constexpr unsigned char PROMPT_SENTINEL_PIN[11] = {0x01, 0x08, '5', '0', '7', '3',
                                                          '9', '1', '6', '2', 0x00};

class TokenHandle {
public:
    TokenHandle(unsigned long ulSlotID, const char* pszTokenName);
    virtual ~TokenHandle();
    TokenHandle(const TokenHandle&) = delete;
    TokenHandle& operator=(const TokenHandle&) = delete;

    // Makes the token file of an existing token folder: a verifier under the
    // default PIN, a fresh serial number.  Null on failure.
    static TokenHandle* CreateNewTokenHandle(unsigned long ulSlotID, const char* pszTokenName);
    // Opens an existing token and loads its containers.  Null on failure.
    static TokenHandle* CreateRegisteredTokenHandle(unsigned long ulSlotID,
                                                    const char* pszTokenName);

    // Reads the token file into the members; on any failure the members are
    // left as they were.  A file without a verifier gives 0x57 with every
    // other member loaded and the verifier empty.
    RESULT ParseTokenFile(const char* pszTokenFileName = nullptr);
    // Writes the members to the token file (atomic replace).
    RESULT GenerateTokenFile();
    // The token info string in a new 260-byte block.
    RESULT GenerateInfo(char** ppszInfo);
    // A copy of m_szTokenName in a new block.
    RESULT GetTokenName(char** ppszTokenName);
    // Tries left of the named token.
    static RESULT GetPINInfo(const char* pszTokenName, int* pnLeftTime);

    // Verifies the PIN through the prompt.  Without bShowUI a PIN already
    // verified on this object is not asked again; with bRetry a wrong PIN
    // is asked again while tries are left.
    RESULT CheckPIN(bool bShowUI, bool bRetry);
    // Verifies a given PIN of 6 to 16 bytes; never prompts.
    RESULT CheckPIN(const unsigned char* pbyPIN, long nPINLength);
    RESULT CheckPIN(const char* pszPIN, long nPINLength);
    // Makes sure the PIN is verified (prompting as CheckPIN does when
    // needed) and hands out the token info string.
    RESULT GetRealPIN(char** ppszUserPIN, bool bShowUI, bool bRetry);
    // Changes the PIN of the named token; the new PIN must be 6 to 16 bytes.
    static RESULT ChangePIN(const char* pszTokenName, const char* pszOldPIN,
                            const char* pszNewPIN);
    // Changes the PIN of this token.
    RESULT ModifyPIN(const char* pszOldPIN, const char* pszNewPIN);
    // Sets the PIN without the old one while CKF_USER_PIN_INITIALIZED is
    // clear.  Takes ownership of the array-new text and releases it.
    RESULT SetPIN(char* pszUserPIN);
    // Re-initialises the token: verifies the PIN (through the prompt for the
    // prompt sentinel), seals a fresh verifier under it, takes the 32-byte
    // label and deletes every container file.
    RESULT InitToken(const unsigned char* pbyPIN, long nPINLength, const unsigned char* pbyLabel);
    // Releases the objects of one table entry and nulls its members.
    void ClearContainerObject(_containerObjectInfo& stContainerObject);

    char m_szTokenName[MAX_PATH_LEN];
    unsigned char m_byTokenLabel[TOKEN_LABEL_LEN];
    unsigned char m_byManufacturerID[TOKEN_MANUFACTURER_LEN];
    unsigned char m_byTokenModel[TOKEN_MODEL_LEN];
    unsigned char m_bySerialNumber[TOKEN_SERIAL_LEN];
    uint32_t m_ulFlags;
    uint32_t m_ulMaxFileCount;
    uint32_t m_ulCurrentFileCount;
    uint32_t m_ulCurrentPINCount;
    unsigned long m_ulSlotID;
    SessionHandle* m_pSessionHandle;
    _CRYPTOAPI_BLOB m_stEncryptedPIN;
    bool m_bPINNotVerified;
    std::vector<_containerObjectInfo> m_vtrContainerObjectSet;

private:
    enum class VerifierState { Matches, NotOpened, Differs };

    // The prompt form of CheckPIN; pKeptPIN, when given, receives the PIN
    // that was verified.
    RESULT CheckPINByPrompt(bool bShowUI, bool bRetry, SecretText* pKeptPIN);
    // Prompts, verifies under the lock and, with bRetry, asks again.
    RESULT PromptAndVerify(const char* pszFunction, bool bRetry, SecretText* pKeptPIN);
    RESULT PromptForPIN(const char* pszFunction, int nMode, SecretText& stPIN);
    // Re-reads the token file under the caller's lock and checks that a PIN
    // can be tried: not locked, a verifier present.
    RESULT ReloadForPINCheck(const char* pszFunction);
    // Takes the lock, re-reads, builds the token info string and spends
    // one try on disk: every PIN attempt starts here.
    RESULT BeginPINTry(const char* pszFunction, TokenFolderLock& stLock, SecretText& stInfo);
    // Writes the count less one before a PIN is tried, so a try is never
    // made without being counted; the members follow the file.
    RESULT SpendTry();
    // A right PIN: the count back to full on disk.
    RESULT RestoreTries();
    VerifierState OpenVerifier(const char* pszPIN, const SecretText& stInfo) const;
    RESULT BuildInfo(SecretText& stInfo);
    // m_stEncryptedPIN becomes the token info string sealed under pszPIN.
    RESULT SealVerifier(const char* pszPIN, const SecretText& stInfo);
    // A new PIN in place: the verifier sealed under it, the change request
    // cleared and the tries back to full (in memory; the caller writes).
    RESULT InstallNewPIN(const char* pszPIN, const SecretText& stInfo);
    RESULT ReplacePIN(const char* pszFunction, const char* pszOldPIN, const char* pszNewPIN,
                      bool bMarkNotVerified);
    void ReleaseVerifier();
    // The named token's folder must already be inside the key set folder.
    static RESULT CheckTokenFolder(const char* pszFunction, const char* pszLabel,
                                   const char* pszTokenName);
    void ReleaseContainerObjects();
    // Opens one candidate entry of the token folder as a container; null
    // when it is not one.
    Container* OpenContainerEntry(const char* pszEntryPath);
};

// ParseTokenFile's 0x57 means "loaded, but no verifier": the PIN checks
// then refuse the empty verifier.  Every other non-zero code is a failure.
inline bool TokenParseFailed(RESULT ulResult)
{
    return ulResult != 0 && ulResult != ERROR_INVALID_PARAMETER;
}

// True for names that are a leading part of ".config" (the token file, and
// names such as ".c"): such entries are never containers.
bool IsTokenFileEntryName(const char* pszName);
