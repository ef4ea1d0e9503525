// The container file: its name, its byte layout, round trips through write
// and parse, and the parser's refusals.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "ContainerTestTools.h"
#include "core/storage/Container.h"

namespace {

class ContainerFileTest : public ContainerFixture {};

TEST_F(ContainerFileTest, LegalNameIsSha1HexOfTheName)
{
    char* pszLegal = nullptr;
    ASSERT_EQ(Container::GetLegalContainerName("abc", &pszLegal), 0u);
    EXPECT_STREQ(pszLegal, kAbcFileName);
    delete[] pszLegal;

    std::string strLongest(CONTAINER_NAME_MAX_LEN, 'n');
    ASSERT_EQ(Container::GetLegalContainerName(strLongest.c_str(), &pszLegal), 0u);
    EXPECT_EQ(strlen(pszLegal), 40u);
    delete[] pszLegal;

    // A name the file could not hold, an empty one, no name: refused.
    std::string strTooLong(CONTAINER_NAME_MAX_LEN + 1, 'n');
    for (const char* pszName : {strTooLong.c_str(), "", static_cast<const char*>(nullptr)}) {
        pszLegal = nullptr;
        EXPECT_EQ(Container::GetLegalContainerName(pszName, &pszLegal), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(pszLegal, nullptr);
    }
    EXPECT_EQ(Container::GetLegalContainerName("abc", nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(ContainerFileTest, PathIsTokenFolderSlashLegalName)
{
    char* pszPath = nullptr;
    ASSERT_EQ(Container::GetContainerPathName("T", "abc", &pszPath), 0u);
    EXPECT_EQ(std::string(pszPath), AbcPath());
    delete[] pszPath;

    EXPECT_EQ(Container::GetContainerPathName("../T", "abc", &pszPath), ERROR_INVALID_PARAMETER);
    // A token folder that fits but leaves no room for the file name.
    std::string strBase = m_strTokenPath.substr(0, m_strTokenPath.size() - 2);  // without "T/"
    std::string strToken(MAX_PATH_LEN - 1 - strBase.size() - 1 - 20, 't');
    char* pszTokenPath = nullptr;
    ASSERT_EQ(GetRealTokenPath(strToken.c_str(), &pszTokenPath), 0u);
    delete[] pszTokenPath;
    pszPath = nullptr;
    EXPECT_EQ(Container::GetContainerPathName(strToken.c_str(), "abc", &pszPath), E_FAIL);
    EXPECT_EQ(pszPath, nullptr);
}

TEST_F(ContainerFileTest, EmptyRsaContainerAbcIsWrittenByteForByte)
{
    Container container("T", "abc", false, true, KEY_TYPE_RSA);
    ASSERT_EQ(container.GenerateContainerFile(), 0u);

    std::string strExpected = FileBytes()
                                  .Header(1, "abc")
                                  .U32(KEY_TYPE_RSA)
                                  .EmptyPair(AT_SIGNATURE)
                                  .EmptyPair(AT_KEYEXCHANGE)
                                  .Str();
    ASSERT_EQ(strExpected.size(), 304u);
    EXPECT_EQ(strExpected.substr(164, 20), FileBytes().U32(1).U32(132).Number(2, 1).Str());
    EXPECT_EQ(ReadRaw(AbcPath()), strExpected);
    EXPECT_EQ(container.m_stSigatureKey.uSize, 132u);

    // Read back, every field is empty.
    Container reread("T", "abc", false, true, 0);
    ASSERT_EQ(reread.ParseContainerFile(nullptr), 0u);
    EXPECT_EQ(reread.m_uAlgrithm, static_cast<uint64_t>(KEY_TYPE_RSA));
    for (int nUsage : {AT_SIGNATURE, AT_KEYEXCHANGE}) {
        for (int nType = KEYINFOID_PRIVATEKEY; nType <= KEYINFOID_CERTIFICATE_CKID; ++nType) {
            std::string strValue = Read(reread, nUsage, nType);
            bool bNumber = nType >= KEYINFOID_PRIVATEKEY_FLAG && nType <= KEYINFOID_CERTIFICATE_FLAG;
            bool bText = nType >= KEYINFOID_PRIVATEKEY_LABEL && nType <= KEYINFOID_CERTIFICATE_LABEL;
            EXPECT_EQ(strValue, bNumber ? Le32(0) : (bText ? "<untouched>" : "")) << nUsage << "/" << nType;
        }
    }
}

struct KeyField {
    int nUsage;
    int nType;
    std::string strValue;
};

TEST_F(ContainerFileTest, KeyContainerWithBothPairsRoundTrips)
{
    const std::string strNul("\0", 1);
    const std::vector<KeyField> vtrFields = {
        {AT_SIGNATURE, KEYINFOID_ALGORITHM, Le32(CALG_SM2_SIGN)},
        {AT_SIGNATURE, KEYINFOID_PRIVATEKEY, "sealed" + strNul + "sign key"},
        {AT_SIGNATURE, KEYINFOID_PUBLICKEY, std::string(64, '\x5A')},
        {AT_SIGNATURE, KEYINFOID_CERTIFICATE, "\x30\x82\x01" + strNul + "cert-s"},
        {AT_SIGNATURE, KEYINFOID_PRIVATEKEY_FLAG, Le32(0x00040210)},
        {AT_SIGNATURE, KEYINFOID_PUBLICKEY_FLAG, Le32(0x00000800)},
        {AT_SIGNATURE, KEYINFOID_CERTIFICATE_FLAG, Le32(0x00000008)},
        {AT_SIGNATURE, KEYINFOID_PRIVATEKEY_LABEL, "sign private"},
        {AT_SIGNATURE, KEYINFOID_PUBLICKEY_LABEL, "sign public"},
        {AT_SIGNATURE, KEYINFOID_CERTIFICATE_LABEL, "sign cert"},
        {AT_SIGNATURE, KEYINFOID_PRIVATEKEY_CKID, "id" + strNul + "#1"},
        {AT_SIGNATURE, KEYINFOID_PUBLICKEY_CKID, "pub#1"},
        {AT_SIGNATURE, KEYINFOID_CERTIFICATE_CKID, "cert#1"},
        {AT_KEYEXCHANGE, KEYINFOID_ALGORITHM, Le32(CALG_SM2_KEYX)},
        {AT_KEYEXCHANGE, KEYINFOID_PRIVATEKEY, std::string(48, '\xC3')},
        {AT_KEYEXCHANGE, KEYINFOID_PUBLICKEY, std::string(64, '\x11')},
        {AT_KEYEXCHANGE, KEYINFOID_CERTIFICATE, "\x30\x82\x02" + strNul + "cert-x"},
        {AT_KEYEXCHANGE, KEYINFOID_PRIVATEKEY_FLAG, Le32(0x00000050)},
        {AT_KEYEXCHANGE, KEYINFOID_PUBLICKEY_FLAG, Le32(0x00000020)},
        {AT_KEYEXCHANGE, KEYINFOID_CERTIFICATE_FLAG, Le32(0xFFFFFFFF)},
        {AT_KEYEXCHANGE, KEYINFOID_PRIVATEKEY_LABEL, "exchange private"},
        {AT_KEYEXCHANGE, KEYINFOID_PUBLICKEY_LABEL, "exchange public"},
        // Given with its NUL: stored and read back the same way.
        {AT_KEYEXCHANGE, KEYINFOID_CERTIFICATE_LABEL, "exchange cert" + strNul},
        {AT_KEYEXCHANGE, KEYINFOID_PRIVATEKEY_CKID, "id#2"},
        {AT_KEYEXCHANGE, KEYINFOID_PUBLICKEY_CKID, "pub#2"},
        {AT_KEYEXCHANGE, KEYINFOID_CERTIFICATE_CKID, "cert#2"},
    };
    auto isText = [](int nType) { return nType >= KEYINFOID_PRIVATEKEY_LABEL && nType <= KEYINFOID_CERTIFICATE_LABEL; };
    auto expected = [&](const KeyField& stField) {
        if (!isText(stField.nType)) {
            return stField.strValue;
        }
        std::string strText = stField.strValue.substr(0, stField.strValue.find('\0'));
        return strText + strNul;
    };

    Container writer("T", "both pairs", false, true, KEY_TYPE_SM2);
    uint64_t nContent = 0;
    for (size_t i = 0; i < vtrFields.size(); ++i) {
        ASSERT_EQ(Write(writer, vtrFields[i].nUsage, vtrFields[i].strValue, vtrFields[i].nType,
                        i + 1 == vtrFields.size()),
                  0u)
            << i;
        bool bNumber = vtrFields[i].nType == KEYINFOID_ALGORITHM ||
                       (vtrFields[i].nType >= KEYINFOID_PRIVATEKEY_FLAG && vtrFields[i].nType <= KEYINFOID_CERTIFICATE_FLAG);
        nContent += bNumber ? 0 : expected(vtrFields[i]).size();
    }
    char* pszPath = nullptr;
    ASSERT_EQ(Container::GetContainerPathName("T", "both pairs", &pszPath), 0u);
    std::string strPath = pszPath;
    delete[] pszPath;
    EXPECT_EQ(ReadRaw(strPath).size(), 16 + 11 + 4 + 2 * (8 + 132) + nContent);

    Container reader("T", "both pairs", false, true, 0);
    ASSERT_EQ(reader.ParseContainerFile(nullptr), 0u);
    EXPECT_FALSE(reader.m_bIsDataFile);
    EXPECT_EQ(reader.m_uAlgrithm, static_cast<uint64_t>(KEY_TYPE_SM2));
    EXPECT_STREQ(reader.m_szContainerName, "both pairs");
    for (const KeyField& stField : vtrFields) {
        EXPECT_EQ(Read(reader, stField.nUsage, stField.nType), expected(stField))
            << stField.nUsage << "/" << stField.nType;
    }
}

TEST_F(ContainerFileTest, DataContainerRoundTrips)
{
    const std::string strNul("\0", 1);
    const uint64_t ulFlags = 0x1234567800040004ULL;
    const std::string strFlags(reinterpret_cast<const char*>(&ulFlags), 8);
    const std::string strLabel = "data" + strNul + "label";
    const std::string strOid = "\x06\x03\x2A\x03\x04";
    const std::string strValue = "value" + strNul + "bytes";

    Container writer("T", "abc", true, true, 0);
    ASSERT_EQ(Write(writer, 0, strLabel, DATAINFOID_LABEL, false), 0u);
    ASSERT_EQ(Write(writer, 0, "my app", DATAINFOID_APPLICATION, false), 0u);
    ASSERT_EQ(Write(writer, 0, strOid, DATAINFOID_OID, false), 0u);
    ASSERT_EQ(Write(writer, 0, strValue, DATAINFOID_VALUE, false), 0u);
    ASSERT_EQ(Write(writer, 0, strFlags, DATAINFOID_FLAG, true), 0u);
    EXPECT_EQ(ReadRaw(AbcPath()).size(), 61 + 3 + strLabel.size() + strOid.size() + strValue.size() + 6 + 1);

    // Opened as a key container, the file says what it is.
    Container reader("T", "abc", false, true, 0);
    ASSERT_EQ(reader.ParseContainerFile(nullptr), 0u);
    EXPECT_TRUE(reader.m_bIsDataFile);
    const uint64_t ulLow = ulFlags & 0xFFFFFFFFULL;
    EXPECT_EQ(Read(reader, 0, DATAINFOID_FLAG), std::string(reinterpret_cast<const char*>(&ulLow), 8));
    EXPECT_EQ(Read(reader, 0, DATAINFOID_LABEL), strLabel);
    EXPECT_EQ(Read(reader, 0, DATAINFOID_APPLICATION), "my app" + strNul);
    EXPECT_EQ(Read(reader, 0, DATAINFOID_OID), strOid);
    EXPECT_EQ(Read(reader, 0, DATAINFOID_VALUE), strValue);

    // Cleared fields are written empty and read back absent.
    ASSERT_EQ(Write(writer, 0, "", DATAINFOID_APPLICATION, false), 0u);
    ASSERT_EQ(Write(writer, 0, "", DATAINFOID_VALUE, true), 0u);
    Container empty("T", "abc", true, true, 0);
    EXPECT_EQ(Read(empty, 0, DATAINFOID_APPLICATION), "<null>");
    EXPECT_EQ(Read(empty, 0, DATAINFOID_VALUE), "");
    EXPECT_EQ(Read(empty, 0, DATAINFOID_OID), strOid);
}

struct ParseCase {
    const char* pszWhat;
    std::string strFile;
    RESULT ulExpected;
};

std::string KeyFile(const std::string& strRecords)
{
    return FileBytes().Header(1, "abc").U32(KEY_TYPE_RSA).Raw(strRecords).Str();
}

std::string DataFile(const std::string& strRecords)
{
    return FileBytes().Header(0, "abc").Raw(strRecords).Str();
}

TEST_F(ContainerFileTest, ParserRefusesMalformedFiles)
{
    const std::string strFlag = FileBytes().Number(SEQUENCEID_DATA_FLAG, 0).Str();
    const std::string strLabel = FileBytes().Record(SEQUENCEID_DATA_LABEL, "l").Str();
    const std::string strApp = FileBytes().Record(SEQUENCEID_DATA_APPLICATION, "a").Str();
    const std::string strOid = FileBytes().Record(SEQUENCEID_DATA_OID, "o").Str();
    const std::string strValue = FileBytes().Record(SEQUENCEID_DATA_VALUE, "v").Str();
    const std::string strHeader = FileBytes().Header(1, "abc").Str();
    auto withNameLength = [&](uint32_t uN) { return strHeader.substr(0, 12) + Le32(uN) + strHeader.substr(16); };

    const std::vector<ParseCase> vtrCases = {
        {"empty file", "", NTE_BAD_LEN},
        {"short header", strHeader.substr(0, 15), NTE_BAD_LEN},
        {"name length 260", withNameLength(260) + std::string(300, 'x'), NTE_BAD_LEN},
        {"name length huge", withNameLength(0xFFFFFFFF) + std::string(300, 'x'), NTE_BAD_LEN},
        {"name runs to the end", DataFile("").substr(0, 20), NTE_BAD_LEN},
        {"no algorithm word after the name", strHeader + std::string("\x01\x00", 2), NTE_BAD_LEN},
        {"name not terminated where N says", withNameLength(3) + std::string(7, '\0'), NTE_BAD_LEN},
        {"name terminated early", FileBytes().Header(1, std::string("ab\0", 3)).U32(1).Str(), NTE_BAD_LEN},
        {"empty name", FileBytes().Header(1, "").U32(1).Str(), NTE_BAD_LEN},
        {"name of another file", FileBytes().Header(1, "abd").U32(1).Str(), NTE_BAD_DATA},
        {"record header past the end", KeyFile(Le32(SEQUENCEID_PRIVATEKEY_LABEL)), E_FAIL},
        {"record value past the end", KeyFile(Le32(SEQUENCEID_PUBLICKEY) + Le32(100) + "abc"), E_FAIL},
        {"record length that wraps", KeyFile(Le32(SEQUENCEID_PUBLICKEY) + Le32(0xFFFFFFF8) + "abcdefgh"), E_FAIL},
        {"pair length past the end", KeyFile(Le32(SEQUENCEID_CONTAINER) + Le32(200)), E_FAIL},
        {"key usage 3", KeyFile(FileBytes().Number(SEQUENCEID_KEYUSAGE, 3).Str()), E_FAIL},
        {"key usage 0", KeyFile(FileBytes().Number(SEQUENCEID_KEYUSAGE, 0).Str()), E_FAIL},
        {"number of 2 bytes", KeyFile(FileBytes().Record(SEQUENCEID_PRIVATEKEY_FLAG, "\x01\x02").Str()), E_FAIL},
        {"number of 8 bytes", KeyFile(FileBytes().Record(SEQUENCEID_PUBLICKEY_FLAG, std::string(8, '\0')).Str()), E_FAIL},
        {"key usage of 8 bytes", KeyFile(FileBytes().Record(SEQUENCEID_KEYUSAGE, Le32(2) + Le32(0)).Str()), E_FAIL},
        {"unknown tag 21", KeyFile(FileBytes().Record(21, "").Str()), E_FAIL},
        {"unknown tag 0", KeyFile(FileBytes().Record(0, "").Str()), E_FAIL},
        {"data: flag not first", DataFile(strLabel + strFlag + strApp + strOid + strValue), NTE_BAD_DATA},
        {"data: label not second", DataFile(strFlag + FileBytes().Record(21, "l").Str() + strApp + strOid + strValue),
         NTE_BAD_DATA},
        {"data: application not third", DataFile(strFlag + strLabel + strOid + strApp + strValue), NTE_BAD_DATA},
        {"data: OID not fourth", DataFile(strFlag + strLabel + strApp + strValue + strOid), NTE_BAD_DATA},
        {"data: value not fifth", DataFile(strFlag + strLabel + strApp + strOid + strOid), NTE_BAD_DATA},
        {"data: flag of 8 bytes", DataFile(FileBytes().Record(SEQUENCEID_DATA_FLAG, std::string(8, '\0')).Str() +
                                           strLabel + strApp + strOid + strValue),
         NTE_BAD_LEN},
        {"data: value past the end", DataFile(strFlag + strLabel + strApp + strOid + strValue.substr(0, 8)),
         NTE_BAD_LEN},
        {"data: records missing", DataFile(strFlag + strLabel), NTE_BAD_LEN},
    };
    for (const ParseCase& stCase : vtrCases) {
        SCOPED_TRACE(stCase.pszWhat);
        WriteRaw(AbcPath(), stCase.strFile);
        Container container("T", "abc", false, true, 0);
        EXPECT_EQ(container.ParseContainerFile(nullptr), stCase.ulExpected);
        EXPECT_FALSE(container.m_bIsDataFile);
        EXPECT_STREQ(container.m_szContainerName, "abc");
        EXPECT_EQ(ReadRaw(AbcPath()), stCase.strFile) << "the file stays as it was";
    }
}

TEST_F(ContainerFileTest, ParserRefusesMissingMovedAndOversizeFiles)
{
    Container container("T", "abc", false, true, 0);
    EXPECT_EQ(container.ParseContainerFile(nullptr), E_FAIL) << "missing";
    EXPECT_EQ(container.ParseContainerFileByRealPath(nullptr), ERROR_INVALID_PARAMETER);

    // Moved to another 40-digit name in the same folder.
    const std::string strOther = "0123456789012345678901234567890123456789";
    Container source("T", "abc", false, true, KEY_TYPE_RSA);
    ASSERT_EQ(source.GenerateContainerFile(), 0u);
    std::filesystem::rename(AbcPath(), PathOf(strOther));
    EXPECT_EQ(container.ParseContainerFile(strOther.c_str()), NTE_BAD_DATA);
    EXPECT_EQ(container.ParseContainerFileByRealPath(PathOf(strOther).c_str()), NTE_BAD_DATA);
    EXPECT_TRUE(std::filesystem::exists(PathOf(strOther)));
    std::filesystem::rename(PathOf(strOther), AbcPath());
    EXPECT_EQ(container.ParseContainerFile(kAbcFileName), 0u);
    for (const char* pszName : {"", "../T/a9993e364706816aba3e25717850c26c9cd0d89d"}) {
        EXPECT_EQ(container.ParseContainerFile(pszName), ERROR_INVALID_PARAMETER) << pszName;
    }

    // One byte over what the reader takes.
    ASSERT_EQ(truncate(AbcPath().c_str(), CONTAINER_FILE_MAX_SIZE + 1), 0);
    EXPECT_EQ(container.ParseContainerFile(nullptr), E_FAIL);
}

TEST_F(ContainerFileTest, ParserTakesRecordsInAnyOrderAndKeepsFieldsWithoutRecord)
{
    // Exchange pair first, no pair records, fields missing.
    std::string strFile = KeyFile(FileBytes()
                                      .Number(SEQUENCEID_KEYUSAGE, AT_KEYEXCHANGE)
                                      .Record(SEQUENCEID_CERTIFICATE, "x-cert")
                                      .Number(SEQUENCEID_KEYUSAGE, AT_SIGNATURE)
                                      .Record(SEQUENCEID_PUBLICKEY_LABEL, "no nul")
                                      .Str());
    WriteRaw(AbcPath(), strFile);
    Container container("T", "abc", false, true, KEY_TYPE_SM2);
    ASSERT_EQ(Write(container, AT_SIGNATURE, "kept", KEYINFOID_CERTIFICATE_LABEL, false), 0u);
    ASSERT_EQ(container.ParseContainerFile(nullptr), 0u);
    EXPECT_EQ(container.m_uAlgrithm, static_cast<uint64_t>(KEY_TYPE_SM2)) << "an algorithm already set stays";
    EXPECT_EQ(Read(container, AT_KEYEXCHANGE, KEYINFOID_CERTIFICATE), "x-cert");
    EXPECT_EQ(Read(container, AT_SIGNATURE, KEYINFOID_PUBLICKEY_LABEL), std::string("no nul\0", 7));
    EXPECT_EQ(Read(container, AT_SIGNATURE, KEYINFOID_CERTIFICATE_LABEL), std::string("kept\0", 5));

    // Bytes after a data container's value record are ignored.
    WriteRaw(AbcPath(), DataFile(FileBytes()
                                     .Number(SEQUENCEID_DATA_FLAG, 7)
                                     .Record(SEQUENCEID_DATA_LABEL, "")
                                     .Record(SEQUENCEID_DATA_APPLICATION, "")
                                     .Record(SEQUENCEID_DATA_OID, "")
                                     .Record(SEQUENCEID_DATA_VALUE, "v")
                                     .Str() +
                                 "trailing"));
    Container data("T", "abc", true, true, 0);
    EXPECT_EQ(Read(data, 0, DATAINFOID_VALUE), "v");
}

TEST_F(ContainerFileTest, WriterRefusesFilesTheReaderWouldRefuse)
{
    // Header 16, name 4, flag record 12, four record headers 32.
    const size_t nLargestValue = CONTAINER_FILE_MAX_SIZE - 64;
    Container container("T", "abc", true, true, 0);
    ASSERT_EQ(Write(container, 0, "old", DATAINFOID_VALUE, true), 0u);
    const std::string strOld = ReadRaw(AbcPath());

    std::string strValue(nLargestValue + 1, 'v');
    EXPECT_EQ(Write(container, 0, strValue, DATAINFOID_VALUE, true), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ReadRaw(AbcPath()), strOld) << "the old file is kept";

    strValue.pop_back();
    ASSERT_EQ(Write(container, 0, strValue, DATAINFOID_VALUE, true), 0u);
    EXPECT_EQ(ReadRaw(AbcPath()).size(), CONTAINER_FILE_MAX_SIZE);
    Container reader("T", "abc", true, true, 0);
    EXPECT_EQ(Read(reader, 0, DATAINFOID_VALUE).size(), nLargestValue);
}

}  // namespace
