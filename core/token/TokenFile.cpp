// The token file ".config": every integer 32-bit little-endian; the name
// with its length, four (length, bytes) fields, flags, the two container
// counts, the PIN count and the verifier with its length.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "core/storage/FileSimple.h"
#include "core/storage/StoragePath.h"
#include "core/token/TokenHandle.h"
#include "core/trace/TraceStep.h"

namespace {

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

uint32_t ReadLE32(const unsigned char* pbyAt)
{
    return static_cast<uint32_t>(pbyAt[0]) | (static_cast<uint32_t>(pbyAt[1]) << 8) |
           (static_cast<uint32_t>(pbyAt[2]) << 16) | (static_cast<uint32_t>(pbyAt[3]) << 24);
}

void WriteLE32(unsigned char* pbyAt, uint32_t ulValue)
{
    pbyAt[0] = static_cast<unsigned char>(ulValue);
    pbyAt[1] = static_cast<unsigned char>(ulValue >> 8);
    pbyAt[2] = static_cast<unsigned char>(ulValue >> 16);
    pbyAt[3] = static_cast<unsigned char>(ulValue >> 24);
}

// The token file path of a token: its folder and ".config".
RESULT TokenFilePath(const char* pszFunction, const char* pszTokenName, std::string& strPath)
{
    char* pszTokenPath = nullptr;
    RESULT ulResult = GetRealTokenPath(pszTokenName, &pszTokenPath);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetRealTokenPath", ulResult);
    }
    strPath = std::string(pszTokenPath) + "/" + TOKEN_FILE_NAME;
    delete[] pszTokenPath;
    if (strPath.size() >= static_cast<size_t>(MAX_PATH_LEN)) {
        return Failed(pszFunction, "Check tokenFilePath > MAX_PATH", E_FAIL);
    }
    return 0;
}

// Bounded reading of the file image; every field must end inside it.
class TokenFileReader {
public:
    TokenFileReader(const unsigned char* pbyData, size_t nSize)
        : m_pbyData(pbyData), m_nSize(nSize)
    {
    }

    bool ReadU32(uint32_t& ulValue)
    {
        if (m_nSize - m_nPos < 4) {
            return false;
        }
        ulValue = ReadLE32(m_pbyData + m_nPos);
        m_nPos += 4;
        return true;
    }
    // A (length, bytes) field of at most nWidth bytes, copied into pbyField
    // with the rest of the field zeroed.  Lengths above the field or
    // negative are refused, as are bytes running past the file.
    bool ReadField(unsigned char* pbyField, size_t nWidth)
    {
        uint32_t ulLen = 0;
        if (!ReadU32(ulLen) || ulLen > nWidth || m_nSize - m_nPos < ulLen) {
            return false;
        }
        memset(pbyField, 0, nWidth);
        memcpy(pbyField, m_pbyData + m_nPos, ulLen);
        m_nPos += ulLen;
        return true;
    }
    bool Has(size_t nLen) const { return m_nSize - m_nPos >= nLen; }
    const unsigned char* Here() const { return m_pbyData + m_nPos; }
    void Skip(size_t nLen) { m_nPos += nLen; }

private:
    const unsigned char* m_pbyData;
    size_t m_nSize;
    size_t m_nPos = 0;
};

}  // namespace

RESULT TokenHandle::ParseTokenFile(const char* pszTokenFileName)
{
    const char* const pszFunction = "TokenHandle::ParseTokenFile";
    const char* pszExpectedName = pszTokenFileName != nullptr ? pszTokenFileName : m_szTokenName;
    std::string strPath;
    RESULT ulResult = TokenFilePath(pszFunction, pszExpectedName, strPath);
    if (ulResult != 0) {
        return ulResult;
    }
    unsigned char* pbyFile = nullptr;
    unsigned int nFileSize = 0;
    ulResult = ReadFileSimple(strPath.c_str(), TOKEN_FILE_MAX_SIZE, &pbyFile, &nFileSize);
    if (ulResult == ERROR_INVALID_PARAMETER) {
        // An empty file is a file too short for its header; 0x57 is kept for
        // "loaded without a verifier".
        return Failed(pszFunction, "Check header data length", NTE_BAD_LEN);
    }
    if (ulResult != 0) {
        return Failed(pszFunction, "ReadFileSimple", ulResult);
    }
    struct FileDeleter {
        unsigned char* p;
        ~FileDeleter() { delete[] p; }
    } stFile{pbyFile};

    // The name length sits at offset 8, so anything shorter than 12 bytes
    // has no complete header.
    if (nFileSize <= 7 || nFileSize < 12) {
        return Failed(pszFunction, "Check header data length", NTE_BAD_LEN);
    }
    TokenFileReader stReader(pbyFile, nFileSize);
    uint32_t ulTag = 0;
    uint32_t ulVersion = 0;
    uint32_t ulNameLen = 0;
    stReader.ReadU32(ulTag);
    stReader.ReadU32(ulVersion);
    stReader.ReadU32(ulNameLen);
    if (ulNameLen >= static_cast<uint32_t>(MAX_PATH_LEN)) {
        return Failed(pszFunction, "Check container name length", NTE_BAD_LEN);
    }
    if (ulNameLen >= nFileSize - 12) {
        return Failed(pszFunction, "Check container data length", NTE_BAD_LEN);
    }
    const char* pszStoredName = reinterpret_cast<const char*>(stReader.Here());
    if (ulNameLen == 0 || strnlen(pszStoredName, ulNameLen) + 1 != ulNameLen) {
        return Failed(pszFunction, "Check container name", NTE_BAD_LEN);
    }
    if (strcmp(pszStoredName, pszExpectedName) != 0) {
        return Failed(pszFunction,
                      "Check whether container file name is matched with container name",
                      NTE_BAD_DATA);
    }
    stReader.Skip(ulNameLen);

    // Read everything into locals first: a file refused half-way changes
    // no member.
    unsigned char byLabel[TOKEN_LABEL_LEN];
    unsigned char byManufacturer[TOKEN_MANUFACTURER_LEN];
    unsigned char byModel[TOKEN_MODEL_LEN];
    unsigned char bySerial[TOKEN_SERIAL_LEN];
    if (!stReader.ReadField(byLabel, sizeof(byLabel)) ||
        !stReader.ReadField(byManufacturer, sizeof(byManufacturer)) ||
        !stReader.ReadField(byModel, sizeof(byModel)) ||
        !stReader.ReadField(bySerial, sizeof(bySerial))) {
        return Failed(pszFunction, "Check data size", NTE_BAD_LEN);
    }
    uint32_t ulFlags = 0;
    uint32_t ulMaxFileCount = 0;
    uint32_t ulCurrentFileCount = 0;
    uint32_t ulPINCount = 0;
    uint32_t ulVerifierLen = 0;
    if (!stReader.ReadU32(ulFlags) || !stReader.ReadU32(ulMaxFileCount) ||
        !stReader.ReadU32(ulCurrentFileCount) || !stReader.ReadU32(ulPINCount) ||
        !stReader.ReadU32(ulVerifierLen)) {
        return Failed(pszFunction, "Check data size", NTE_BAD_LEN);
    }
    const int32_t nVerifierLen = static_cast<int32_t>(ulVerifierLen);
    if (nVerifierLen < 0 || !stReader.Has(static_cast<size_t>(nVerifierLen))) {
        return Failed(pszFunction, "Check m_stEncryptedPIN length", NTE_BAD_LEN);
    }
    unsigned char* pbyVerifier = nullptr;
    if (nVerifierLen > 0) {
        pbyVerifier = new (std::nothrow) unsigned char[nVerifierLen];
        if (pbyVerifier == nullptr) {
            return Failed(pszFunction, "New verifier buffer", CKR_HOST_MEMORY);
        }
        memcpy(pbyVerifier, stReader.Here(), static_cast<size_t>(nVerifierLen));
    }

    if (pszExpectedName != m_szTokenName) {
        memset(m_szTokenName, 0, sizeof(m_szTokenName));
        memcpy(m_szTokenName, pszStoredName, ulNameLen);
    }
    memcpy(m_byTokenLabel, byLabel, sizeof(byLabel));
    memcpy(m_byManufacturerID, byManufacturer, sizeof(byManufacturer));
    memcpy(m_byTokenModel, byModel, sizeof(byModel));
    memcpy(m_bySerialNumber, bySerial, sizeof(bySerial));
    m_ulFlags = ulFlags;
    m_ulMaxFileCount =
        ulMaxFileCount < TOKEN_MIN_MAX_FILE_COUNT ? TOKEN_MIN_MAX_FILE_COUNT : ulMaxFileCount;
    m_ulCurrentFileCount = ulCurrentFileCount;
    // More tries than a token ever has is read as a full count.
    m_ulCurrentPINCount = ulPINCount > TOKEN_PIN_TRIES ? TOKEN_PIN_TRIES : ulPINCount;
    ReleaseVerifier();
    if (nVerifierLen == 0) {
        return Failed(pszFunction, "Check buffer size", ERROR_INVALID_PARAMETER);
    }
    m_stEncryptedPIN.pbData = pbyVerifier;
    m_stEncryptedPIN.cbData = ulVerifierLen;
    TraceStepSuccess(pszFunction, "Check buffer size");
    return 0;
}

RESULT TokenHandle::GenerateTokenFile()
{
    const char* const pszFunction = "TokenHandle::GenerateTokenFile";
    const size_t nNameLen = strnlen(m_szTokenName, MAX_PATH_LEN - 1);
    const size_t nSize = 145 + nNameLen + m_stEncryptedPIN.cbData;
    if (m_stEncryptedPIN.cbData > TOKEN_FILE_MAX_SIZE || nSize > TOKEN_FILE_MAX_SIZE) {
        return Failed(pszFunction, "Check buffer size", NTE_BAD_LEN);
    }
    unsigned char* pbyFile = new (std::nothrow) unsigned char[nSize]();
    if (pbyFile == nullptr) {
        return Failed(pszFunction, "New token file buffer", CKR_HOST_MEMORY);
    }
    struct FileDeleter {
        unsigned char* p;
        ~FileDeleter() { delete[] p; }
    } stFile{pbyFile};

    unsigned char* pbyAt = pbyFile;
    auto PutU32 = [&pbyAt](uint32_t ulValue) {
        WriteLE32(pbyAt, ulValue);
        pbyAt += 4;
    };
    auto PutBytes = [&pbyAt](const void* pData, size_t nLen) {
        if (nLen != 0) {
            memcpy(pbyAt, pData, nLen);
        }
        pbyAt += nLen;
    };
    PutU32(TOKEN_FILE_TAG);
    PutU32(TOKEN_FILE_VERSION);
    PutU32(static_cast<uint32_t>(nNameLen + 1));
    PutBytes(m_szTokenName, nNameLen);
    ++pbyAt;  // the name's terminator, already zero
    PutU32(TOKEN_LABEL_LEN);
    PutBytes(m_byTokenLabel, TOKEN_LABEL_LEN);
    PutU32(TOKEN_MANUFACTURER_LEN);
    PutBytes(m_byManufacturerID, TOKEN_MANUFACTURER_LEN);
    PutU32(TOKEN_MODEL_LEN);
    PutBytes(m_byTokenModel, TOKEN_MODEL_LEN);
    PutU32(TOKEN_SERIAL_LEN);
    PutBytes(m_bySerialNumber, TOKEN_SERIAL_LEN);
    PutU32(m_ulFlags);
    PutU32(m_ulMaxFileCount);
    PutU32(m_ulCurrentFileCount);
    PutU32(m_ulCurrentPINCount);
    PutU32(m_stEncryptedPIN.cbData);
    PutBytes(m_stEncryptedPIN.pbData, m_stEncryptedPIN.cbData);
    const size_t nFileSize = static_cast<size_t>(pbyAt - pbyFile);  // == nSize

    char* pszTokenPath = nullptr;
    RESULT ulResult = GetRealTokenPath(m_szTokenName, &pszTokenPath);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetRealTokenPath", ulResult);
    }
    ulResult = CreateDirectories(pszTokenPath);
    if (ulResult != 0) {
        delete[] pszTokenPath;
        return Failed(pszFunction, "CreateDirectories", ulResult);
    }
    char szTokenFilePath[MAX_PATH_LEN] = {0};
    const int nPathLen =
        snprintf(szTokenFilePath, sizeof(szTokenFilePath), "%s/%s", pszTokenPath, TOKEN_FILE_NAME);
    delete[] pszTokenPath;
    if (nPathLen < 0 || nPathLen >= MAX_PATH_LEN) {
        return Failed(pszFunction, "Check tokenFilePath > MAX_PATH", E_FAIL);
    }
    ulResult =
        WriteFileSimple(szTokenFilePath, pbyFile, static_cast<unsigned int>(nFileSize), true);
    if (ulResult != 0) {
        return Failed(pszFunction, "WriteFileSimple", E_FAIL);
    }
    TraceStepSuccess(pszFunction, "WriteFileSimple");
    return 0;
}
