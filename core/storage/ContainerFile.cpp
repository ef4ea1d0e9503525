// The container file's byte layout: writing it from memory and reading it
// back.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "core/storage/Container.h"
#include "core/storage/ContainerBlocks.h"
#include "core/storage/FileSimple.h"
#include "core/storage/StoragePath.h"
#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

namespace {

constexpr unsigned char kFileMagic[8] = {0x44, 0x00, 0xDD, 0x07, 0x00, 0x00, 0x03, 0x00};
constexpr size_t kHeaderSize = 16;
constexpr size_t kRecordHeaderSize = 8;
constexpr uint32_t kNumberSize = 4;
// Five number records and nine texts or blobs, all without value bytes.
constexpr uint64_t kEmptyPairContentSize = 5 * (kRecordHeaderSize + kNumberSize) + 9 * kRecordHeaderSize;
// Flag record and four empty records.
constexpr uint64_t kEmptyDataBodySize = (kRecordHeaderSize + kNumberSize) + 4 * kRecordHeaderSize;

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

uint32_t GetU32(const unsigned char* pby)
{
    return static_cast<uint32_t>(pby[0]) | (static_cast<uint32_t>(pby[1]) << 8) |
           (static_cast<uint32_t>(pby[2]) << 16) | (static_cast<uint32_t>(pby[3]) << 24);
}

// Bytes a text takes in the file: with its NUL when not empty.
uint64_t TextRecordSize(const char* pszText)
{
    size_t nLength = TextLength(pszText);
    return nLength == 0 ? 0 : nLength + 1;
}

uint64_t BlobSize(const _CRYPTOAPI_BLOB& stBlob)
{
    return stBlob.pbData == nullptr ? 0 : stBlob.cbData;
}

uint64_t PairContentSize(const _keyPairInfo& stPair)
{
    return kEmptyPairContentSize + TextRecordSize(stPair.pszPriKeyLabel) + TextRecordSize(stPair.pszPubKeyLabel) +
           TextRecordSize(stPair.pszCertLabel) + BlobSize(stPair.PriKeyCKID) + BlobSize(stPair.PubKeyCKID) +
           BlobSize(stPair.CertCKID) + BlobSize(stPair.PrivateKey) + BlobSize(stPair.PublicKey) +
           BlobSize(stPair.Certificate);
}

// Fills a buffer whose size was computed beforehand from the same fields.
class RecordWriter {
public:
    explicit RecordWriter(unsigned char* pbyBuffer) : m_pbyBuffer(pbyBuffer) {}

    void PutBytes(const void* pData, size_t nSize)
    {
        if (nSize != 0) {
            memcpy(m_pbyBuffer + m_nOffset, pData, nSize);
            m_nOffset += nSize;
        }
    }
    void PutU32(uint32_t uValue)
    {
        unsigned char aby[4] = {static_cast<unsigned char>(uValue), static_cast<unsigned char>(uValue >> 8),
                                static_cast<unsigned char>(uValue >> 16), static_cast<unsigned char>(uValue >> 24)};
        PutBytes(aby, sizeof(aby));
    }
    void PutNumber(uint32_t uTag, uint32_t uValue)
    {
        PutU32(uTag);
        PutU32(kNumberSize);
        PutU32(uValue);
    }
    void PutText(uint32_t uTag, const char* pszText)
    {
        uint64_t nSize = TextRecordSize(pszText);
        PutU32(uTag);
        PutU32(static_cast<uint32_t>(nSize));
        PutBytes(pszText, nSize);
    }
    void PutBlob(uint32_t uTag, const _CRYPTOAPI_BLOB& stBlob)
    {
        uint64_t nSize = BlobSize(stBlob);
        PutU32(uTag);
        PutU32(static_cast<uint32_t>(nSize));
        PutBytes(stBlob.pbData, nSize);
    }
    void PutPair(const _keyPairInfo& stPair, uint32_t uKeySpec)
    {
        PutU32(SEQUENCEID_CONTAINER);
        PutU32(stPair.uSize);
        PutNumber(SEQUENCEID_KEYUSAGE, uKeySpec);
        PutNumber(SEQUENCEID_ALGORITHM, stPair.uAlgorithm);
        PutNumber(SEQUENCEID_PRIVATEKEY_FLAG, stPair.uPriKeyFlags);
        PutNumber(SEQUENCEID_PUBLICKEY_FLAG, stPair.uPubKeyFlags);
        PutNumber(SEQUENCEID_CERTIFICATE_FLAG, stPair.uCertFlags);
        PutText(SEQUENCEID_PRIVATEKEY_LABEL, stPair.pszPriKeyLabel);
        PutText(SEQUENCEID_PUBLICKEY_LABEL, stPair.pszPubKeyLabel);
        PutText(SEQUENCEID_CERTIFICATE_LABEL, stPair.pszCertLabel);
        PutBlob(SEQUENCEID_PRIVATEKEY_CKID, stPair.PriKeyCKID);
        PutBlob(SEQUENCEID_PUBLICKEY_CKID, stPair.PubKeyCKID);
        PutBlob(SEQUENCEID_CERTIFICATE_CKID, stPair.CertCKID);
        PutBlob(SEQUENCEID_PRIVATEKEY, stPair.PrivateKey);
        PutBlob(SEQUENCEID_PUBLICKEY, stPair.PublicKey);
        PutBlob(SEQUENCEID_CERTIFICATE, stPair.Certificate);
    }
    size_t Offset() const { return m_nOffset; }

private:
    unsigned char* m_pbyBuffer;
    size_t m_nOffset = 0;
};

// One record whose header and value lie inside the file; false otherwise.
// Works on the bytes that remain, so no sum can wrap.
bool ReadRecord(const unsigned char* pbyFile, size_t nFileSize, size_t nOffset, uint32_t& uTag, uint32_t& uLength)
{
    if (nOffset > nFileSize || nFileSize - nOffset < kRecordHeaderSize) {
        return false;
    }
    uTag = GetU32(pbyFile + nOffset);
    uLength = GetU32(pbyFile + nOffset + 4);
    return uLength <= nFileSize - nOffset - kRecordHeaderSize;
}

}  // namespace

RESULT Container::GenerateContainerFile()
{
    const char* pszFunction = "Container::GenerateContainerFile";
    size_t nNameSize = strnlen(m_szContainerName, MAX_PATH_LEN - 1) + 1;
    uint64_t nFileSize = kHeaderSize + nNameSize;
    uint64_t nSignSize = 0;
    uint64_t nExchangeSize = 0;
    if (m_bIsDataFile) {
        nFileSize += kEmptyDataBodySize + BlobSize(m_stDataLabel) + TextRecordSize(m_pszDataApplication) +
                     BlobSize(m_stDataOID) + BlobSize(m_stDataValue);
    } else {
        nSignSize = PairContentSize(m_stSigatureKey);
        nExchangeSize = PairContentSize(m_stExchangeKey);
        nFileSize += kNumberSize + 2 * kRecordHeaderSize + nSignSize + nExchangeSize;
    }
    if (nFileSize == 0 || nFileSize > 0x7FFFFFFF) {
        return Failed(pszFunction, "Check buffer size", ERROR_INVALID_PARAMETER);
    }
    // A larger file could never be read back.
    if (nFileSize > CONTAINER_FILE_MAX_SIZE) {
        TRACE(QYRA_LOG_ERROR, "%s - file of %llu bytes", pszFunction, static_cast<unsigned long long>(nFileSize));
        return Failed(pszFunction, "Check file size", ERROR_INVALID_PARAMETER);
    }
    std::unique_ptr<unsigned char[]> pbyBuffer(new (std::nothrow) unsigned char[nFileSize]());
    if (!pbyBuffer) {
        return Failed(pszFunction, "New buffer", E_FAIL);
    }

    RecordWriter writer(pbyBuffer.get());
    writer.PutBytes(kFileMagic, sizeof(kFileMagic));
    writer.PutU32(m_bIsDataFile ? 0 : 1);
    writer.PutU32(static_cast<uint32_t>(nNameSize));
    writer.PutBytes(m_szContainerName, nNameSize - 1);
    writer.PutBytes("", 1);
    if (m_bIsDataFile) {
        writer.PutNumber(SEQUENCEID_DATA_FLAG, static_cast<uint32_t>(m_ulDataFlags));
        writer.PutBlob(SEQUENCEID_DATA_LABEL, m_stDataLabel);
        writer.PutText(SEQUENCEID_DATA_APPLICATION, m_pszDataApplication);
        writer.PutBlob(SEQUENCEID_DATA_OID, m_stDataOID);
        writer.PutBlob(SEQUENCEID_DATA_VALUE, m_stDataValue);
    } else {
        m_stSigatureKey.uSize = static_cast<uint32_t>(nSignSize);
        m_stExchangeKey.uSize = static_cast<uint32_t>(nExchangeSize);
        writer.PutU32(static_cast<uint32_t>(m_uAlgrithm));
        writer.PutPair(m_stSigatureKey, AT_SIGNATURE);
        writer.PutPair(m_stExchangeKey, AT_KEYEXCHANGE);
    }
    if (writer.Offset() != nFileSize) {
        return Failed(pszFunction, "Check buffer size", ERROR_INVALID_PARAMETER);
    }

    char* pszPathName = nullptr;
    RESULT ulResult = GetContainerPathName(m_szKeyName, m_szContainerName, &pszPathName);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetContainerPathName", ulResult);
    }
    std::unique_ptr<char[]> pszOwnedPathName(pszPathName);
    char* pszDirectory = nullptr;
    ulResult = GetDirectoryFromFilePath(pszPathName, &pszDirectory);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetDirectoryFromFilePath", ulResult);
    }
    ulResult = CreateDirectories(pszDirectory);
    delete[] pszDirectory;
    if (ulResult != 0) {
        return Failed(pszFunction, "CreateDirectories for pszDirectory", ulResult);
    }
    ulResult = WriteFileSimple(pszPathName, pbyBuffer.get(), static_cast<unsigned int>(nFileSize), true);
    if (ulResult != 0) {
        return Failed(pszFunction, "WriteFileSimple", ulResult);
    }
    TraceStepSuccess(pszFunction, "WriteFileSimple");
    return 0;
}

RESULT Container::ParseContainerFile(const char* pszFileName)
{
    const char* pszFunction = "Container::ParseContainerFile";
    char* pszPathName = nullptr;
    if (pszFileName == nullptr) {
        RESULT ulResult = GetContainerPathName(m_szKeyName, m_szContainerName, &pszPathName);
        if (ulResult != 0) {
            return Failed(pszFunction, "GetContainerPathName", ulResult);
        }
    } else {
        // A name of the token folder itself, not a path that leads out of it.
        if (pszFileName[0] == '\0' || strchr(pszFileName, '/') != nullptr) {
            return Failed(pszFunction, "Check pszFileName", ERROR_INVALID_PARAMETER);
        }
        char* pszTokenPath = nullptr;
        RESULT ulResult = GetRealTokenPath(m_szKeyName, &pszTokenPath);
        if (ulResult != 0) {
            return Failed(pszFunction, "GetRealTokenPath", ulResult);
        }
        pszPathName = new (std::nothrow) char[MAX_PATH_LEN]();
        if (pszPathName == nullptr) {
            delete[] pszTokenPath;
            return Failed(pszFunction, "New buffer", E_FAIL);
        }
        int nLength = snprintf(pszPathName, MAX_PATH_LEN, "%s/%s", pszTokenPath, pszFileName);
        delete[] pszTokenPath;
        if (nLength < 0 || nLength >= MAX_PATH_LEN) {
            delete[] pszPathName;
            return Failed(pszFunction, "Check path length", E_FAIL);
        }
    }
    RESULT ulResult = ParseContainerFileByRealPath(pszPathName);
    delete[] pszPathName;
    return ulResult;
}

RESULT Container::ParseContainerFileByRealPath(const char* pszContainerFileRealPath)
{
    const char* pszFunction = "Container::ParseContainerFileByRealPath";
    if (pszContainerFileRealPath == nullptr) {
        return Failed(pszFunction, "Check pszContainerFileRealPath", ERROR_INVALID_PARAMETER);
    }
    // A half-read file must not reach the fields in use: parse into a copy
    // and take it over only when the whole file parsed.
    Container fresh;
    RESULT ulResult = fresh.CopyFieldsFrom(*this);
    if (ulResult != 0) {
        return ulResult;
    }
    ulResult = fresh.ParseFileInto(pszContainerFileRealPath);
    if (ulResult != 0) {
        return ulResult;
    }
    SwapFields(fresh);
    return 0;
}

RESULT Container::ParseFileInto(const char* pszContainerFileRealPath)
{
    const char* pszFunction = "Container::ParseContainerFileByRealPath";
    unsigned char* pbyFile = nullptr;
    unsigned int nFileSize = 0;
    RESULT ulResult = ReadFileSimple(pszContainerFileRealPath, CONTAINER_FILE_MAX_SIZE, &pbyFile, &nFileSize);
    if (ulResult == E_FAIL) {
        return Failed(pszFunction, "ReadFileSimple", ulResult);
    }
    // Any other read failure leaves no data, which the header check refuses.
    if (ulResult != 0) {
        pbyFile = nullptr;
        nFileSize = 0;
    }
    std::unique_ptr<unsigned char[]> pbyOwnedFile(pbyFile);
    return ParseContainerData(pbyFile, nFileSize, pszContainerFileRealPath);
}

RESULT Container::ParseContainerData(const unsigned char* pbyFile, size_t nFileSize, const char* pszFilePath)
{
    const char* pszFunction = "Container::ParseContainerFileByRealPath";
    if (pbyFile == nullptr || nFileSize < kHeaderSize) {
        return Failed(pszFunction, "Check header data length", NTE_BAD_LEN);
    }
    uint32_t uKind = GetU32(pbyFile + 8);
    uint32_t uNameSize = GetU32(pbyFile + 12);
    if (uNameSize >= static_cast<uint32_t>(MAX_PATH_LEN)) {
        return Failed(pszFunction, "Check container name length", NTE_BAD_LEN);
    }
    // The key container's algorithm word follows the name and must be
    // inside the file too.
    size_t nAfterName = uKind != 0 ? kNumberSize : 1;
    if (uNameSize > nFileSize - kHeaderSize || nFileSize - kHeaderSize - uNameSize < nAfterName) {
        return Failed(pszFunction, "Check container data length", NTE_BAD_LEN);
    }
    const char* pszStoredName = reinterpret_cast<const char*>(pbyFile + kHeaderSize);
    // The name ends in its NUL at N - 1 and nowhere earlier; an empty name
    // names no file.
    if (uNameSize < 2 || strnlen(pszStoredName, uNameSize) + 1 != uNameSize) {
        return Failed(pszFunction, "Check container name", NTE_BAD_LEN);
    }

    char* pszLegalName = nullptr;
    RESULT ulResult = GetLegalContainerName(pszStoredName, &pszLegalName);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetLegalContainerName", ulResult);
    }
    std::unique_ptr<char[]> pszOwnedLegalName(pszLegalName);
    char* pszFileName = nullptr;
    ulResult = PathFindFileName(pszFilePath, &pszFileName);
    if (ulResult != 0) {
        return Failed(pszFunction, "PathFindFileName", ulResult);
    }
    std::unique_ptr<char[]> pszOwnedFileName(pszFileName);
    if (strcmp(pszLegalName, pszFileName) != 0) {
        return Failed(pszFunction, "Check whether container file name is matched with container name", NTE_BAD_DATA);
    }
    memset(m_szContainerName, 0, sizeof(m_szContainerName));
    memcpy(m_szContainerName, pszStoredName, uNameSize);

    size_t nOffset = kHeaderSize + uNameSize;
    if (uKind != 0) {
        m_bIsDataFile = false;
        ulResult = ParseKeyBody(pbyFile, nFileSize, nOffset);
    } else {
        m_bIsDataFile = true;
        ulResult = ParseDataBody(pbyFile, nFileSize, nOffset);
    }
    if (ulResult == 0) {
        TraceStepSuccess(pszFunction, "Parse container data");
    }
    return ulResult;
}

RESULT Container::ParseKeyBody(const unsigned char* pbyFile, size_t nFileSize, size_t nOffset)
{
    const char* pszFunction = "Container::ParseContainerFileByRealPath";
    uint32_t uAlgorithm = GetU32(pbyFile + nOffset);
    nOffset += kNumberSize;
    if (m_uAlgrithm == 0) {
        m_uAlgrithm = uAlgorithm;
    }
    _keyPairInfo* pPair = &m_stSigatureKey;
    while (nOffset < nFileSize) {
        uint32_t uTag = 0;
        uint32_t uLength = 0;
        if (!ReadRecord(pbyFile, nFileSize, nOffset, uTag, uLength)) {
            return Failed(pszFunction, "Check data size", E_FAIL);
        }
        const unsigned char* pbyValue = pbyFile + nOffset + kRecordHeaderSize;
        if (uTag == SEQUENCEID_CONTAINER) {
            // The pair's records follow as part of the same walk.
            nOffset += kRecordHeaderSize;
            continue;
        }
        nOffset += kRecordHeaderSize + uLength;
        if (uTag >= SEQUENCEID_KEYUSAGE && uTag <= SEQUENCEID_CERTIFICATE_FLAG && uLength != kNumberSize) {
            return Failed(pszFunction, "Check data size", E_FAIL);
        }
        bool bStored = true;
        switch (uTag) {
        case SEQUENCEID_KEYUSAGE: {
            uint32_t uKeySpec = GetU32(pbyValue);
            if (uKeySpec == static_cast<uint32_t>(AT_SIGNATURE)) {
                pPair = &m_stSigatureKey;
            } else if (uKeySpec == static_cast<uint32_t>(AT_KEYEXCHANGE)) {
                pPair = &m_stExchangeKey;
            } else {
                return Failed(pszFunction, "Check key usage", E_FAIL);
            }
            break;
        }
        case SEQUENCEID_ALGORITHM: pPair->uAlgorithm = GetU32(pbyValue); break;
        case SEQUENCEID_PRIVATEKEY_FLAG: pPair->uPriKeyFlags = GetU32(pbyValue); break;
        case SEQUENCEID_PUBLICKEY_FLAG: pPair->uPubKeyFlags = GetU32(pbyValue); break;
        case SEQUENCEID_CERTIFICATE_FLAG: pPair->uCertFlags = GetU32(pbyValue); break;
        case SEQUENCEID_PRIVATEKEY_LABEL: bStored = ReplaceText(pPair->pszPriKeyLabel, pbyValue, uLength); break;
        case SEQUENCEID_PUBLICKEY_LABEL: bStored = ReplaceText(pPair->pszPubKeyLabel, pbyValue, uLength); break;
        case SEQUENCEID_CERTIFICATE_LABEL: bStored = ReplaceText(pPair->pszCertLabel, pbyValue, uLength); break;
        case SEQUENCEID_PRIVATEKEY_CKID: bStored = ReplaceBlob(pPair->PriKeyCKID, pbyValue, uLength); break;
        case SEQUENCEID_PUBLICKEY_CKID: bStored = ReplaceBlob(pPair->PubKeyCKID, pbyValue, uLength); break;
        case SEQUENCEID_CERTIFICATE_CKID: bStored = ReplaceBlob(pPair->CertCKID, pbyValue, uLength); break;
        case SEQUENCEID_PRIVATEKEY: bStored = ReplaceBlob(pPair->PrivateKey, pbyValue, uLength); break;
        case SEQUENCEID_PUBLICKEY: bStored = ReplaceBlob(pPair->PublicKey, pbyValue, uLength); break;
        case SEQUENCEID_CERTIFICATE: bStored = ReplaceBlob(pPair->Certificate, pbyValue, uLength); break;
        default:
            TRACE(QYRA_LOG_ERROR, "%s - tag %u", pszFunction, uTag);
            return Failed(pszFunction, "Invalid data type", E_FAIL);
        }
        if (!bStored) {
            return Failed(pszFunction, "New buffer", E_FAIL);
        }
    }
    return 0;
}

RESULT Container::ParseDataBody(const unsigned char* pbyFile, size_t nFileSize, size_t nOffset)
{
    const char* pszFunction = "Container::ParseContainerFileByRealPath";
    static const struct {
        uint32_t uTag;
        const char* pszLabel;
    } kRecords[] = {
        {SEQUENCEID_DATA_FLAG, "Check 1st SEQUENCEID_DATA_FLAG"},
        {SEQUENCEID_DATA_LABEL, "Check 2nd SEQUENCEID_DATA_LABEL"},
        {SEQUENCEID_DATA_APPLICATION, "Check 3rd SEQUENCEID_DATA_APPLICATION"},
        {SEQUENCEID_DATA_OID, "Check 4th is SEQUENCEID_DATA_OID"},
        {SEQUENCEID_DATA_VALUE, "Check 5th is SEQUENCEID_DATA_VALUE"},
    };
    for (const auto& stRecord : kRecords) {
        if (nOffset > nFileSize || nFileSize - nOffset < kRecordHeaderSize) {
            return Failed(pszFunction, "Check data size", NTE_BAD_LEN);
        }
        if (GetU32(pbyFile + nOffset) != stRecord.uTag) {
            return Failed(pszFunction, stRecord.pszLabel, NTE_BAD_DATA);
        }
        uint32_t uTag = 0;
        uint32_t uLength = 0;
        if (!ReadRecord(pbyFile, nFileSize, nOffset, uTag, uLength) ||
            (uTag == SEQUENCEID_DATA_FLAG && uLength != kNumberSize)) {
            return Failed(pszFunction, "Check data size", NTE_BAD_LEN);
        }
        const unsigned char* pbyValue = pbyFile + nOffset + kRecordHeaderSize;
        nOffset += kRecordHeaderSize + uLength;
        bool bStored = true;
        switch (uTag) {
        case SEQUENCEID_DATA_FLAG:
            m_ulDataFlags = (m_ulDataFlags & 0xFFFFFFFF00000000ULL) | GetU32(pbyValue);
            break;
        case SEQUENCEID_DATA_LABEL: bStored = ReplaceBlob(m_stDataLabel, pbyValue, uLength); break;
        case SEQUENCEID_DATA_APPLICATION: bStored = ReplaceText(m_pszDataApplication, pbyValue, uLength); break;
        case SEQUENCEID_DATA_OID: bStored = ReplaceBlob(m_stDataOID, pbyValue, uLength); break;
        default: bStored = ReplaceBlob(m_stDataValue, pbyValue, uLength); break;
        }
        if (!bStored) {
            return Failed(pszFunction, "New buffer", E_FAIL);
        }
    }
    return 0;
}
