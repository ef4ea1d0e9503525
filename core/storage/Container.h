// Container: the in-memory form of one container file, a key container
// (a signature and an exchange key pair, each with its certificate) or a
// data container (one PKCS#11 data object).
//
// The file lies in its token's folder under the name GetLegalContainerName
// gives for the container name; the name itself is stored inside.  All
// numbers in the file are 32-bit little-endian; after a 16-byte header and
// the name comes a sequence of records (tag, length L, L bytes).
//
// Field access re-reads the file first while the reload flag is set, so an
// object without unsaved changes sees what other objects and processes
// wrote.  A write without flush clears the flag; a flushed write saves the
// whole container and sets it again.
//
// The container owns every text and blob it points to.  Blocks it hands
// out are released by the caller with delete[].
#pragma once

#include <cstdint>
#include <vector>

#include "core/token/Records.h"
#include "core/token/ResultCodes.h"

class TokenHandle;

// Record tags of the container file.
constexpr uint32_t SEQUENCEID_CONTAINER = 1;
constexpr uint32_t SEQUENCEID_KEYUSAGE = 2;
constexpr uint32_t SEQUENCEID_ALGORITHM = 3;
constexpr uint32_t SEQUENCEID_PRIVATEKEY_FLAG = 4;
constexpr uint32_t SEQUENCEID_PUBLICKEY_FLAG = 5;
constexpr uint32_t SEQUENCEID_CERTIFICATE_FLAG = 6;
constexpr uint32_t SEQUENCEID_PRIVATEKEY_LABEL = 7;
constexpr uint32_t SEQUENCEID_PUBLICKEY_LABEL = 8;
constexpr uint32_t SEQUENCEID_CERTIFICATE_LABEL = 9;
constexpr uint32_t SEQUENCEID_PRIVATEKEY_CKID = 10;
constexpr uint32_t SEQUENCEID_PUBLICKEY_CKID = 11;
constexpr uint32_t SEQUENCEID_CERTIFICATE_CKID = 12;
constexpr uint32_t SEQUENCEID_PRIVATEKEY = 13;
constexpr uint32_t SEQUENCEID_PUBLICKEY = 14;
constexpr uint32_t SEQUENCEID_CERTIFICATE = 15;
constexpr uint32_t SEQUENCEID_DATA_APPLICATION = 16;
constexpr uint32_t SEQUENCEID_DATA_OID = 17;
constexpr uint32_t SEQUENCEID_DATA_VALUE = 18;
constexpr uint32_t SEQUENCEID_DATA_LABEL = 19;
constexpr uint32_t SEQUENCEID_DATA_FLAG = 20;

// Field identifiers of WriteFileInfo and ReadFileInfo, key containers.
constexpr int KEYINFOID_ALGORITHM = 1;
constexpr int KEYINFOID_PRIVATEKEY = 3;
constexpr int KEYINFOID_PUBLICKEY = 4;
constexpr int KEYINFOID_CERTIFICATE = 5;
constexpr int KEYINFOID_PRIVATEKEY_FLAG = 6;
constexpr int KEYINFOID_PUBLICKEY_FLAG = 7;
constexpr int KEYINFOID_CERTIFICATE_FLAG = 8;
constexpr int KEYINFOID_PRIVATEKEY_LABEL = 9;
constexpr int KEYINFOID_PUBLICKEY_LABEL = 10;
constexpr int KEYINFOID_CERTIFICATE_LABEL = 11;
constexpr int KEYINFOID_PRIVATEKEY_CKID = 12;
constexpr int KEYINFOID_PUBLICKEY_CKID = 13;
constexpr int KEYINFOID_CERTIFICATE_CKID = 14;

// Field identifiers, data containers.
constexpr int DATAINFOID_APPLICATION = 1;
constexpr int DATAINFOID_OID = 2;
constexpr int DATAINFOID_VALUE = 3;
constexpr int DATAINFOID_LABEL = 4;
constexpr int DATAINFOID_FLAG = 5;

// The reader takes container files of up to this size, so the writer
// refuses to make larger ones.
constexpr unsigned int CONTAINER_FILE_MAX_SIZE = 0xA00000;
// The file stores the name with its NUL in fewer than 260 bytes.
constexpr int CONTAINER_NAME_MAX_LEN = 258;

// One key pair of a key container.
struct _keyPairInfo {
    uint32_t uAlgorithm;    // SEQUENCEID_ALGORITHM
    uint32_t uSize;         // length last written for SEQUENCEID_CONTAINER
    uint32_t uKeySpec;      // AT_SIGNATURE or AT_KEYEXCHANGE
    uint32_t uPriKeyFlags;
    uint32_t uPubKeyFlags;
    uint32_t uCertFlags;
    char* pszPriKeyLabel;   // null when there is none
    char* pszPubKeyLabel;
    char* pszCertLabel;
    _CRYPTOAPI_BLOB PriKeyCKID;
    _CRYPTOAPI_BLOB PubKeyCKID;
    _CRYPTOAPI_BLOB CertCKID;
    _CRYPTOAPI_BLOB PrivateKey;  // sealed
    _CRYPTOAPI_BLOB PublicKey;
    _CRYPTOAPI_BLOB Certificate;
};

class Container {
public:
    // Copies both names (a null name is left empty; a name too long for
    // its field is cut to 259 bytes, which no name check accepts) and sets
    // the reload flag and the two key specs.
    Container(const char* pszKeyName, const char* pszContainerName, bool bIsDataFile, bool bIsToken,
              uint64_t uAlgrithm);
    virtual ~Container();
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    // Sets one field.  Key usage AT_SIGNATURE selects the signature pair,
    // any other value the exchange pair (ignored for data containers).
    // Null data with size 0 clears a text or blob; a number takes exactly
    // 4 bytes (DATAINFOID_FLAG 8).  With bFlush a token container is saved:
    // under the token's folder lock the file is re-read, the changes made
    // since the last save and this one are applied, and the whole file is
    // rewritten.  The caller must not hold that lock.
    RESULT WriteFileInfo(int nKeyUsage, const unsigned char* pbData, int nDataSize, int nType, bool bFlush);
    // A copy of one field in a new block.  Numbers come as 4 bytes
    // (DATAINFOID_FLAG 8), texts with their NUL.  An absent key-pair text
    // or an empty blob leaves the out arguments untouched; an absent
    // application gives null and size 0.
    RESULT ReadFileInfo(int nKeyUsage, unsigned char** ppbData, int* pnDataSize, int nType);

    // Writes the whole file from memory, replacing the old one at once.  A
    // file the reader would refuse as too large is not written (0x57).
    RESULT GenerateContainerFile();
    // Reads the container's own file (null) or the named file of its token
    // folder (a name without "/").
    RESULT ParseContainerFile(const char* pszFileName);
    // Reads the file at a full path.  The object changes only when the
    // whole file parsed; fields the file has no record for keep their value.
    RESULT ParseContainerFileByRealPath(const char* pszContainerFileRealPath);

    // Factories; each returns a new object the caller owns, or null.  Names
    // are 1 to 258 bytes and the container's file path must fit 259
    // characters: other names are refused before anything is made.
    //
    // A key container; a null name gives a fresh UUID text.  A token
    // container's file is written at once, under the token folder's lock
    // (the caller must not hold it); a file already there is never
    // overwritten (null instead).
    static Container* CreateNewContainer(const char* pszKeyName, const char* pszContainerName, bool bIsToken,
                                         uint64_t uAlgrithm);
    // The same for a data container.
    static Container* CreateNewDataContainer(const char* pszKeyName, const char* pszContainerName,
                                             bool bIsToken);
    // Opens the named container's file; its kind comes from the file.
    static Container* CreateRegisteredContainer(const char* pszKeyName, const char* pszContainerName,
                                                bool bIsToken);
    // Opens the file at a full path; the container name comes from the file.
    static Container* CreateRegisteredContaierByRealPath(const char* pszKeyName,
                                                         const char* pszContainerFileRealPath, bool bIsToken);
    // True when the container's file exists and parses.
    static bool IsRegisteredContainer(const char* pszKeyName, const char* pszContainerName);
    // Deletes the container's file; a file already gone is success.
    static RESULT RemoveContainerFile(const char* pszKeyName, const char* pszContainerName);
    // True when RemoveContainerFile succeeded.
    static bool UnregisterContainer(const char* pszKeyName, const char* pszContainerName);

    // Copies of the names in new blocks; an empty name hands out null.
    RESULT GetContainerName(char** ppszContainerName);
    RESULT GetKeyName(char** ppszKeyName);
    // Whether the container may take keys of the algorithm (1 RSA, 2 SM2);
    // an empty container, or one whose algorithm is not set yet, adopts it.
    bool SetKeySetAlgorithm(uint64_t uAlgorithm);
    // No key, certificate or data value in it.
    bool IsEmptyContainer();
    // nItem 1 certificate, 2 public key, 3 private key of the pair of
    // nKeySpec: present.  Always false for a data container.
    bool bIsValid(int nItem, int nKeySpec);
    // A complete container: *pnKind 0 when only the exchange pair has public
    // key, private key and certificate, 1 when both pairs have all three.
    bool bIsValid(int* pnKind);
    // The secret text private keys are sealed under, from the owning token
    // (which may prompt for the PIN).  Takes no lock: the token takes its
    // own, so the caller must not hold the token folder's lock.
    RESULT GetRealPIN(char** ppszUserPIN, bool bShowUI, bool bRetry);

    // The random source of C_SeedRandom and C_GenerateRandom. Lengths are
    // 64-bit, as PKCS#11 hands them in: the whole buffer is filled and the
    // whole seed mixed in, in chunks the library takes.
    static RESULT SetRandomSeed(const unsigned char* pbySeedData, uint64_t nSeedDataSize);
    static RESULT GetRandomData(unsigned char* pbRandomData, uint64_t nRandomDataLen);
    static RESULT GenRandomDataByTimeSeed(unsigned char* pbRandomData, uint64_t nRandomDataLen);

    // The file name of a container: SHA-1 of the name as 40 lower-case hex
    // digits, in a new block of 260 bytes.  Names of 1 to 258 bytes.
    static RESULT GetLegalContainerName(const char* pszContainerName, char** ppszLegalName);
    // Token folder, "/", legal name, in a new block of 261 bytes; the path
    // must fit 259 characters.
    static RESULT GetContainerPathName(const char* pszKeyName, const char* pszContainerName,
                                       char** ppszPathName);

    bool m_bReload = true;
    bool m_bIsToken = false;
    uint64_t m_uAlgrithm = 0;     // key container: 1 = RSA, 2 = SM2, 0 = not set
    uint64_t m_ulDataFlags = 0;   // DATAINFOID_FLAG; the file keeps the low half
    _keyPairInfo m_stSigatureKey;
    _keyPairInfo m_stExchangeKey;
    _CRYPTOAPI_BLOB m_stDataValue;
    _CRYPTOAPI_BLOB m_stDataOID;
    _CRYPTOAPI_BLOB m_stDataLabel;
    char* m_pszDataApplication = nullptr;
    TokenHandle* m_pTokenHandle = nullptr;  // set by the token layer; not owned
    char m_szKeyName[MAX_PATH_LEN];
    char m_szContainerName[MAX_PATH_LEN];
    bool m_bIsDataFile = false;

private:
    // A field write made without flush, replayed onto the file's current
    // content when the container is next saved.
    struct _unsavedField {
        int nKeyUsage;
        int nType;
        std::vector<unsigned char> vtrData;  // empty: the field is cleared
    };

    // An empty object to parse into before taking the result over.
    Container();

    RESULT CopyFieldsFrom(const Container& other);
    void SwapFields(Container& other);
    void ReleaseFields();

    RESULT ParseFileInto(const char* pszContainerFileRealPath);
    RESULT ParseContainerData(const unsigned char* pbyFile, size_t nFileSize, const char* pszFilePath);
    RESULT ParseKeyBody(const unsigned char* pbyFile, size_t nFileSize, size_t nOffset);
    RESULT ParseDataBody(const unsigned char* pbyFile, size_t nFileSize, size_t nOffset);

    RESULT ReloadIfNeeded(const char* pszFilePath);
    RESULT FlushField(const char* pszFilePath, int nKeyUsage, const unsigned char* pbData, int nDataSize,
                      int nType);
    static RESULT ApplyField(Container& target, int nKeyUsage, const unsigned char* pbData, int nDataSize,
                             int nType);
    void RememberUnsaved(int nKeyUsage, const unsigned char* pbData, int nDataSize, int nType);

    std::vector<_unsavedField> m_vtrUnsavedFields;
};
