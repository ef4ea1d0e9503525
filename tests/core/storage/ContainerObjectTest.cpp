// The container object: making, opening and removing containers, and what
// the content checks report.
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ContainerTestTools.h"
#include "core/storage/Container.h"

namespace {

// 8-4-4-4-12 lower-case hex digits.
bool IsUuidText(const std::string& str)
{
    if (str.size() != 36) {
        return false;
    }
    for (size_t i = 0; i < str.size(); ++i) {
        bool bDash = i == 8 || i == 13 || i == 18 || i == 23;
        if (bDash ? str[i] != '-' : !isxdigit(static_cast<unsigned char>(str[i])) || isupper(str[i])) {
            return false;
        }
    }
    return true;
}

// Which key pair items an in-memory key container holds.
struct Items {
    bool bSignPri = false, bSignPub = false, bSignCert = false;
    bool bExchPri = false, bExchPub = false, bExchCert = false;
};

class ContainerObjectTest : public ContainerFixture {
protected:
    std::string FileNameOf(const std::string& strName) const
    {
        char* pszLegal = nullptr;
        EXPECT_EQ(Container::GetLegalContainerName(strName.c_str(), &pszLegal), 0u);
        std::string str = pszLegal == nullptr ? "" : pszLegal;
        delete[] pszLegal;
        return str;
    }
    std::vector<std::string> TokenFolderNames() const { return RawNames(m_strTokenPath); }
    static std::unique_ptr<Container> KeyContainer(uint64_t uAlgorithm, const Items& st)
    {
        auto p = std::make_unique<Container>("T", "abc", false, false, KEY_TYPE_RSA);
        const struct {
            bool bSet;
            int nUsage;
            int nType;
        } kFields[] = {
            {st.bSignPri, AT_SIGNATURE, KEYINFOID_PRIVATEKEY},   {st.bSignPub, AT_SIGNATURE, KEYINFOID_PUBLICKEY},
            {st.bSignCert, AT_SIGNATURE, KEYINFOID_CERTIFICATE}, {st.bExchPri, AT_KEYEXCHANGE, KEYINFOID_PRIVATEKEY},
            {st.bExchPub, AT_KEYEXCHANGE, KEYINFOID_PUBLICKEY},  {st.bExchCert, AT_KEYEXCHANGE, KEYINFOID_CERTIFICATE},
        };
        for (const auto& stField : kFields) {
            if (stField.bSet) {
                EXPECT_EQ(Write(*p, stField.nUsage, "x", stField.nType, false), 0u);
            }
        }
        p->m_uAlgrithm = uAlgorithm;
        return p;
    }
};

TEST_F(ContainerObjectTest, NewTokenContainersAreWrittenAtOnceSessionOnesNever)
{
    std::unique_ptr<Container> pKeys(Container::CreateNewContainer("T", nullptr, true, 0));
    ASSERT_NE(pKeys, nullptr);
    const std::string strName = pKeys->m_szContainerName;
    EXPECT_TRUE(IsUuidText(strName)) << strName;
    EXPECT_STREQ(pKeys->m_szKeyName, "T");
    EXPECT_FALSE(pKeys->m_bIsDataFile);
    EXPECT_TRUE(pKeys->m_bIsToken);
    EXPECT_EQ(std::filesystem::file_size(PathOf(FileNameOf(strName))), 337u);

    std::unique_ptr<Container> pData(Container::CreateNewDataContainer("T", "abc", true));
    ASSERT_NE(pData, nullptr);
    EXPECT_TRUE(pData->m_bIsDataFile);
    EXPECT_EQ(ReadRaw(AbcPath()), FileBytes()
                                      .Header(0, "abc")
                                      .Number(SEQUENCEID_DATA_FLAG, 0)
                                      .Record(SEQUENCEID_DATA_LABEL, "")
                                      .Record(SEQUENCEID_DATA_APPLICATION, "")
                                      .Record(SEQUENCEID_DATA_OID, "")
                                      .Record(SEQUENCEID_DATA_VALUE, "")
                                      .Str());

    // Session containers live in memory only.
    std::unique_ptr<Container> pSession(Container::CreateNewContainer("T", "s", false, KEY_TYPE_SM2));
    ASSERT_NE(pSession, nullptr);
    EXPECT_EQ(pSession->m_uAlgrithm, static_cast<uint64_t>(KEY_TYPE_SM2));
    std::unique_ptr<Container> pSessionData(Container::CreateNewDataContainer("T", nullptr, false));
    ASSERT_NE(pSessionData, nullptr);
    EXPECT_EQ(TokenFolderNames().size(), 2u);
}

TEST_F(ContainerObjectTest, NewContainerNeverReplacesAnExistingFile)
{
    Container existing("T", "abc", false, true, KEY_TYPE_RSA);
    ASSERT_EQ(Write(existing, AT_SIGNATURE, "sealed key", KEYINFOID_PRIVATEKEY, true), 0u);
    const std::string strBefore = ReadRaw(AbcPath());

    EXPECT_EQ(Container::CreateNewContainer("T", "abc", true, KEY_TYPE_RSA), nullptr);
    EXPECT_EQ(Container::CreateNewDataContainer("T", "abc", true), nullptr);
    EXPECT_EQ(ReadRaw(AbcPath()), strBefore);
}

TEST_F(ContainerObjectTest, UnusableNamesAreRefusedBeforeAnythingIsMade)
{
    const std::string strTooLong(CONTAINER_NAME_MAX_LEN + 1, 'n');
    const struct {
        const char* pszToken;
        const char* pszName;
    } kCases[] = {
        {nullptr, "abc"},
        {"../T", "abc"},
        {"", "abc"},
        {"T", ""},
        {"T", strTooLong.c_str()},
    };
    for (const auto& stCase : kCases) {
        SCOPED_TRACE(std::string(stCase.pszToken ? stCase.pszToken : "<null>") + " / " +
                     stCase.pszName);
        EXPECT_EQ(Container::CreateNewContainer(stCase.pszToken, stCase.pszName, true, 1), nullptr);
        EXPECT_EQ(Container::CreateNewContainer(stCase.pszToken, stCase.pszName, false, 1), nullptr);
        EXPECT_EQ(Container::CreateNewDataContainer(stCase.pszToken, stCase.pszName, true), nullptr);
        EXPECT_EQ(Container::CreateRegisteredContainer(stCase.pszToken, stCase.pszName, true), nullptr);
        EXPECT_FALSE(Container::IsRegisteredContainer(stCase.pszToken, stCase.pszName));
        EXPECT_NE(Container::RemoveContainerFile(stCase.pszToken, stCase.pszName), 0u);
    }
    EXPECT_EQ(Container::RemoveContainerFile("T", nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(TokenFolderNames().empty());
}

TEST_F(ContainerObjectTest, OpeningTakesKindAndNameFromTheFile)
{
    EXPECT_EQ(Container::CreateRegisteredContainer("T", "abc", true), nullptr);
    EXPECT_FALSE(Container::IsRegisteredContainer("T", "abc"));

    delete Container::CreateNewDataContainer("T", "abc", true);
    std::unique_ptr<Container> pByName(Container::CreateRegisteredContainer("T", "abc", true));
    ASSERT_NE(pByName, nullptr);
    EXPECT_TRUE(pByName->m_bIsDataFile);
    EXPECT_TRUE(Container::IsRegisteredContainer("T", "abc"));

    std::unique_ptr<Container> pByPath(Container::CreateRegisteredContaierByRealPath("T", AbcPath().c_str(), false));
    ASSERT_NE(pByPath, nullptr);
    EXPECT_STREQ(pByPath->m_szContainerName, "abc");
    EXPECT_STREQ(pByPath->m_szKeyName, "T");
    EXPECT_FALSE(pByPath->m_bIsToken);
    EXPECT_EQ(pByPath->m_pTokenHandle, nullptr);

    // A file under another container's name stays where it is, unopened.
    const std::string strMoved = PathOf(FileNameOf("other"));
    std::filesystem::rename(AbcPath(), strMoved);
    EXPECT_EQ(Container::CreateRegisteredContaierByRealPath("T", strMoved.c_str(), true), nullptr);
    EXPECT_TRUE(std::filesystem::exists(strMoved));
    EXPECT_FALSE(Container::IsRegisteredContainer("T", "abc"));

    WriteRaw(AbcPath(), "corrupt");
    EXPECT_EQ(Container::CreateRegisteredContainer("T", "abc", true), nullptr);
    EXPECT_FALSE(Container::IsRegisteredContainer("T", "abc"));
    EXPECT_EQ(Container::CreateRegisteredContaierByRealPath("T", nullptr, true), nullptr);
    EXPECT_EQ(Container::CreateRegisteredContaierByRealPath(nullptr, AbcPath().c_str(), true), nullptr);
}

TEST_F(ContainerObjectTest, RemovingAFileThatIsGoneSucceeds)
{
    delete Container::CreateNewContainer("T", "abc", true, KEY_TYPE_RSA);
    ASSERT_TRUE(std::filesystem::exists(AbcPath()));
    EXPECT_EQ(Container::RemoveContainerFile("T", "abc"), 0u);
    EXPECT_FALSE(std::filesystem::exists(AbcPath()));
    EXPECT_EQ(Container::RemoveContainerFile("T", "abc"), 0u);
    EXPECT_TRUE(Container::UnregisterContainer("T", "abc"));

    // A folder under a container's file name is not deleted.
    std::filesystem::create_directories(AbcPath());
    EXPECT_EQ(Container::RemoveContainerFile("T", "abc"), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(Container::UnregisterContainer("T", "abc"));
    EXPECT_TRUE(std::filesystem::is_directory(AbcPath()));
}

TEST_F(ContainerObjectTest, KeySetAlgorithmIsAdoptedOnlyWhereNoOtherKeyIsInTheWay)
{
    const struct {
        uint64_t uCurrent;
        bool bHasKey;
        uint64_t uAsked;
        bool bExpected;
        uint64_t uAfter;
    } kCases[] = {
        {KEY_TYPE_RSA, false, KEY_TYPE_SM2, true, KEY_TYPE_SM2},
        {KEY_TYPE_RSA, false, KEY_TYPE_RSA, true, KEY_TYPE_RSA},
        {KEY_TYPE_SM2, false, 0, true, 0},
        {KEY_TYPE_RSA, true, KEY_TYPE_SM2, false, KEY_TYPE_RSA},
        {KEY_TYPE_RSA, true, KEY_TYPE_RSA, true, KEY_TYPE_RSA},
        {KEY_TYPE_RSA, true, 0, false, KEY_TYPE_RSA},
        {0, true, KEY_TYPE_SM2, true, KEY_TYPE_SM2},
    };
    for (const auto& stCase : kCases) {
        SCOPED_TRACE(testing::Message() << stCase.uCurrent << (stCase.bHasKey ? " with key, " : " empty, ")
                                        << stCase.uAsked);
        Items stItems;
        stItems.bExchPub = stCase.bHasKey;
        auto p = KeyContainer(stCase.uCurrent, stItems);
        EXPECT_EQ(p->SetKeySetAlgorithm(stCase.uAsked), stCase.bExpected);
        EXPECT_EQ(p->m_uAlgrithm, stCase.uAfter);
    }
}

TEST_F(ContainerObjectTest, ContentChecks)
{
    Items stNone;
    Items stSignPri;
    stSignPri.bSignPri = true;
    Items stExchangeFull;
    stExchangeFull.bExchPri = stExchangeFull.bExchPub = stExchangeFull.bExchCert = true;
    Items stBothFull = stExchangeFull;
    stBothFull.bSignPri = stBothFull.bSignPub = stBothFull.bSignCert = true;
    Items stExchangeFullSignCert = stExchangeFull;
    stExchangeFullSignCert.bSignCert = true;
    Items stExchangeNoCert = stExchangeFull;
    stExchangeNoCert.bExchCert = false;

    const struct {
        const char* pszWhat;
        Items stItems;
        bool bEmpty;
        bool bComplete;
        int nKind;
    } kCases[] = {
        {"nothing", stNone, true, false, -1},
        {"signature private key", stSignPri, false, false, -1},
        {"exchange pair complete", stExchangeFull, false, true, 0},
        {"both pairs complete", stBothFull, false, true, 1},
        {"exchange pair and a signature certificate", stExchangeFullSignCert, false, false, -1},
        {"exchange pair without certificate", stExchangeNoCert, false, false, -1},
    };
    for (const auto& stCase : kCases) {
        SCOPED_TRACE(stCase.pszWhat);
        auto p = KeyContainer(KEY_TYPE_RSA, stCase.stItems);
        EXPECT_EQ(p->IsEmptyContainer(), stCase.bEmpty);
        int nKind = -1;
        EXPECT_EQ(p->bIsValid(&nKind), stCase.bComplete);
        EXPECT_EQ(nKind, stCase.nKind);
        EXPECT_FALSE(p->bIsValid(nullptr));
    }

    // One item of one pair per question.
    auto p = KeyContainer(KEY_TYPE_RSA, stSignPri);
    EXPECT_TRUE(p->bIsValid(3, AT_SIGNATURE));
    EXPECT_FALSE(p->bIsValid(3, AT_KEYEXCHANGE));
    EXPECT_FALSE(p->bIsValid(2, AT_SIGNATURE));
    EXPECT_FALSE(p->bIsValid(1, AT_SIGNATURE));
    EXPECT_FALSE(p->bIsValid(3, 0));
    EXPECT_FALSE(p->bIsValid(4, AT_SIGNATURE));

    // A data container is empty without a value and never holds keys.
    Container data("T", "d", true, false, 0);
    EXPECT_TRUE(data.IsEmptyContainer());
    ASSERT_EQ(Write(data, 0, "label", DATAINFOID_LABEL, false), 0u);
    EXPECT_TRUE(data.IsEmptyContainer());
    ASSERT_EQ(Write(data, 0, "value", DATAINFOID_VALUE, false), 0u);
    EXPECT_FALSE(data.IsEmptyContainer());
    int nKind = -1;
    EXPECT_FALSE(data.bIsValid(&nKind));
    EXPECT_FALSE(data.bIsValid(3, AT_SIGNATURE));
}

TEST_F(ContainerObjectTest, NamesAreHandedOutAsCopies)
{
    Container container("T", "abc", false, false, KEY_TYPE_RSA);
    char* pszName = nullptr;
    ASSERT_EQ(container.GetContainerName(&pszName), 0u);
    EXPECT_STREQ(pszName, "abc");
    EXPECT_NE(pszName, container.m_szContainerName);
    delete[] pszName;
    ASSERT_EQ(container.GetKeyName(&pszName), 0u);
    EXPECT_STREQ(pszName, "T");
    delete[] pszName;
    EXPECT_EQ(container.GetContainerName(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(container.GetKeyName(nullptr), ERROR_INVALID_PARAMETER);

    Container unnamed(nullptr, nullptr, false, false, 0);
    pszName = reinterpret_cast<char*>(&unnamed);
    EXPECT_EQ(unnamed.GetContainerName(&pszName), 0u);
    EXPECT_EQ(pszName, nullptr);
}

}  // namespace
