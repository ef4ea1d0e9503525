#include <algorithm>
#include <filesystem>
#include <string>

#include "TokenFixture.h"

namespace {

class TokenFileTest : public TokenFixture {};

Bytes Padded(const std::string& strText, size_t nWidth)
{
    Bytes v(strText.begin(), strText.end());
    v.resize(nWidth, ' ');
    return v;
}

TEST_F(TokenFileTest, NewTokenFileIsByteExact)
{
    auto pToken = NewToken();
    ASSERT_NE(pToken, nullptr);
    const Bytes vtrFile = ReadConfig();
    const size_t n = strlen(kToken) + 1;
    ASSERT_EQ(vtrFile.size(), 144 + n + 80);

    Bytes vtrExpected = {0x44, 0x00, 0xDD, 0x07, 0x00, 0x00, 0x03, 0x00};
    PutLE32(vtrExpected, static_cast<uint32_t>(n));
    vtrExpected.insert(vtrExpected.end(), kToken, kToken + n);
    PutLE32(vtrExpected, 32);
    const Bytes vtrLabel = Padded("QYRA P11 V3.0", 32);
    vtrExpected.insert(vtrExpected.end(), vtrLabel.begin(), vtrLabel.end());
    PutLE32(vtrExpected, 32);
    const Bytes vtrMaker = Padded("QYRA Co., Ltd", 32);
    vtrExpected.insert(vtrExpected.end(), vtrMaker.begin(), vtrMaker.end());
    PutLE32(vtrExpected, 16);
    const Bytes vtrModel = Padded("QYRA P11 V3.0", 16);
    vtrExpected.insert(vtrExpected.end(), vtrModel.begin(), vtrModel.end());
    PutLE32(vtrExpected, 16);
    const Bytes vtrSerial(vtrFile.begin() + After(108), vtrFile.begin() + After(124));
    vtrExpected.insert(vtrExpected.end(), vtrSerial.begin(), vtrSerial.end());
    PutLE32(vtrExpected, 0x0008040C);
    PutLE32(vtrExpected, 1024);
    PutLE32(vtrExpected, 0);
    PutLE32(vtrExpected, 6);
    PutLE32(vtrExpected, 80);
    EXPECT_EQ(Hex(vtrFile.data(), After(144)), Hex(vtrExpected.data(), vtrExpected.size()));
    EXPECT_NE(vtrSerial, Bytes(16, 0));

    const Bytes vtrVerifier = StoredVerifier();
    EXPECT_EQ(OpenText(vtrVerifier, "908172"), InfoOf(kFullName, kToken));
    EXPECT_EQ(vtrVerifier, SealText(InfoOf(kFullName, kToken), "908172"));

    // A second token gets its own serial number.
    std::filesystem::create_directories(TokenFolder("Second"));
    std::unique_ptr<TokenHandle> pSecond(TokenHandle::CreateNewTokenHandle(2, "Second"));
    ASSERT_NE(pSecond, nullptr);
    EXPECT_NE(Bytes(pSecond->m_bySerialNumber, pSecond->m_bySerialNumber + 16), vtrSerial);
}

TEST_F(TokenFileTest, NewTokenNeedsItsFolder)
{
    std::filesystem::remove_all(m_home.BaseFolder());
    // Something that is not a folder where the key set folder belongs is
    // replaced by the folder; the token folder itself must exist.
    std::filesystem::create_directories(m_home.BaseFolder());
    std::ofstream(m_home.BaseFolder() + "/KeySet_Velmoray") << "x";
    EXPECT_EQ(TokenHandle::CreateNewTokenHandle(1, kToken), nullptr);
    EXPECT_TRUE(std::filesystem::is_directory(m_home.BaseFolder() + "/KeySet_Velmoray"));
    EXPECT_FALSE(std::filesystem::exists(ConfigPath()));
}

TEST_F(TokenFileTest, ParseRefusesMalformedFilesAndKeepsTheMembers)
{
    const TokenFileImage stGood;
    const Bytes vtrGood = stGood.Build();
    auto Truncated = [&](size_t nSize) { return Bytes(vtrGood.begin(), vtrGood.begin() + nSize); };
    auto With = [&](auto fnChange) {
        TokenFileImage st;
        fnChange(st);
        return st.Build();
    };
    const size_t n = strlen(kToken) + 1;
    const struct {
        const char* pszWhat;
        Bytes vtrFile;
        RESULT ulExpected;
    } cases[] = {
        {"empty", Bytes(), NTE_BAD_LEN},
        {"7 bytes", Truncated(7), NTE_BAD_LEN},
        {"10 bytes: name length cut", Truncated(10), NTE_BAD_LEN},
        {"name length 260", With([](TokenFileImage& s) { s.optNameLen = 260; }), NTE_BAD_LEN},
        {"name length past the file", Truncated(12 + n), NTE_BAD_LEN},
        {"name length not the name's", With([&](TokenFileImage& s) { s.optNameLen = static_cast<uint32_t>(n - 1); }),
         NTE_BAD_LEN},
        {"name length 0", With([](TokenFileImage& s) { s.optNameLen = 0; }), NTE_BAD_LEN},
        {"other name", With([](TokenFileImage& s) { s.strName[0] = 'X'; }), NTE_BAD_DATA},
        {"label length 33", With([](TokenFileImage& s) { s.stLabel = {33, Bytes(33, 'L')}; }),
         NTE_BAD_LEN},
        {"label length negative", With([](TokenFileImage& s) { s.stLabel.ulLen = 0xFFFFFFFF; }),
         NTE_BAD_LEN},
        {"model length 17", With([](TokenFileImage& s) { s.stModel = {17, Bytes(17, 'm')}; }),
         NTE_BAD_LEN},
        {"serial length 16 over 15 bytes", Truncated(After(108) + 15), NTE_BAD_LEN},
        {"cut in the counters", Truncated(After(130)), NTE_BAD_LEN},
        {"verifier length negative", With([](TokenFileImage& s) { s.optVerifierLen = 0xFFFFFFFE; }),
         NTE_BAD_LEN},
        {"verifier past the file", With([](TokenFileImage& s) { s.optVerifierLen = 81; }),
         NTE_BAD_LEN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        WriteConfig(c.vtrFile);
        TokenHandle stToken(1, kToken);
        stToken.m_ulCurrentPINCount = 3;
        stToken.m_ulFlags = 0x1234;
        const Bytes vtrLabel(stToken.m_byTokenLabel, stToken.m_byTokenLabel + 32);
        EXPECT_EQ(stToken.ParseTokenFile(nullptr), c.ulExpected);
        EXPECT_EQ(stToken.m_ulCurrentPINCount, 3u);
        EXPECT_EQ(stToken.m_ulFlags, 0x1234u);
        EXPECT_EQ(Bytes(stToken.m_byTokenLabel, stToken.m_byTokenLabel + 32), vtrLabel);
        EXPECT_EQ(stToken.m_stEncryptedPIN.cbData, 0u);
        EXPECT_STREQ(stToken.m_szTokenName, kToken);
    }
}

TEST_F(TokenFileTest, ParseNormalisesWhatItReads)
{
    const struct {
        const char* pszWhat;
        uint32_t ulStoredMax;
        uint32_t ulStoredCount;
        uint32_t ulMax;
        uint32_t ulCount;
    } cases[] = {
        {"small max raised", 10, 6, 1024, 6},
        {"large max kept", 5000, 6, 5000, 6},
        {"count kept", 1024, 2, 1024, 2},
        {"count above six", 1024, 9, 1024, 6},
        {"count wrapped below zero", 1024, 0xFFFFFFFF, 1024, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        TokenFileImage st;
        st.ulMax = c.ulStoredMax;
        st.ulPINCount = c.ulStoredCount;
        WriteConfig(st.Build());
        TokenHandle stToken(1, kToken);
        ASSERT_EQ(stToken.ParseTokenFile(nullptr), 0u);
        EXPECT_EQ(stToken.m_ulMaxFileCount, c.ulMax);
        EXPECT_EQ(stToken.m_ulCurrentPINCount, c.ulCount);
    }

    // Short fields are copied and zero-filled; the rest lines up behind them.
    TokenFileImage st;
    st.stLabel = {5, Bytes{'s', 'h', 'o', 'r', 't'}};
    st.ulFlags = 0x0000040C;
    st.ulCurrent = 7;
    WriteConfig(st.Build());
    TokenHandle stToken(1, kToken);
    ASSERT_EQ(stToken.ParseTokenFile(nullptr), 0u);
    Bytes vtrLabel{'s', 'h', 'o', 'r', 't'};
    vtrLabel.resize(32, 0);
    EXPECT_EQ(Bytes(stToken.m_byTokenLabel, stToken.m_byTokenLabel + 32), vtrLabel);
    EXPECT_EQ(Bytes(stToken.m_byManufacturerID, stToken.m_byManufacturerID + 32), Bytes(32, 'M'));
    EXPECT_EQ(stToken.m_ulFlags, 0x0000040Cu);
    EXPECT_EQ(stToken.m_ulCurrentFileCount, 7u);
    EXPECT_EQ(stToken.m_stEncryptedPIN.cbData, 80u);

    // Written back, the fields take their full widths again.
    ASSERT_EQ(stToken.GenerateTokenFile(), 0u);
    TokenFileImage stBack = st;
    stBack.stLabel = {32, vtrLabel};
    EXPECT_EQ(ReadConfig(), stBack.Build());
}

TEST_F(TokenFileTest, MissingVerifierLoadsTheRestAndBlocksPINUse)
{
    TokenFileImage st;
    st.vtrVerifier.clear();
    st.ulPINCount = 4;
    WriteConfig(st.Build());
    TokenHandle stToken(1, kToken);
    EXPECT_EQ(stToken.ParseTokenFile(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(stToken.m_ulCurrentPINCount, 4u);
    EXPECT_EQ(stToken.m_stEncryptedPIN.cbData, 0u);
    EXPECT_EQ(stToken.CheckPIN(kDefaultPIN, 6), NTE_BAD_DATA);
    EXPECT_EQ(TokenHandle::ChangePIN(kToken, kDefaultPIN, "135790"), NTE_BAD_DATA);
    EXPECT_EQ(StoredCount(), 4u);
}

TEST_F(TokenFileTest, OpeningRewritesOnlyTheContainerCount)
{
    TokenFileImage st;
    st.ulCurrent = 7;
    st.ulPINCount = 3;
    st.ulFlags = 0x0000040C;
    WriteConfig(st.Build());
    // Entries that are no containers: files that do not parse, a folder, and
    // names that are a leading part of the token file's.
    std::ofstream(TokenFolder() + "/not-a-container") << "garbage";
    std::ofstream(TokenFolder() + "/.c") << "garbage";
    std::filesystem::create_directories(TokenFolder() + "/sub");

    auto pToken = OpenToken();
    ASSERT_NE(pToken, nullptr);
    EXPECT_EQ(pToken->m_ulCurrentFileCount, 0u);
    EXPECT_TRUE(pToken->m_vtrContainerObjectSet.empty());
    TokenFileImage stExpected = st;
    stExpected.ulCurrent = 0;
    EXPECT_EQ(ReadConfig(), stExpected.Build());
}

TEST_F(TokenFileTest, OpeningRefusesWhatItCannotRead)
{
    EXPECT_EQ(TokenHandle::CreateRegisteredTokenHandle(1, nullptr), nullptr);
    EXPECT_EQ(TokenHandle::CreateRegisteredTokenHandle(1, "Missing"), nullptr);
    // A corrupt token file is neither opened nor overwritten.
    Bytes vtrCorrupt = TokenFileImage().Build();
    vtrCorrupt.resize(40);
    WriteConfig(vtrCorrupt);
    EXPECT_EQ(TokenHandle::CreateRegisteredTokenHandle(1, kToken), nullptr);
    EXPECT_EQ(ReadConfig(), vtrCorrupt);
}

TEST_F(TokenFileTest, QueriesByName)
{
    auto pToken = NewToken();
    ASSERT_NE(pToken, nullptr);
    int nLeft = -1;
    EXPECT_EQ(TokenHandle::GetPINInfo(kToken, &nLeft), 0u);
    EXPECT_EQ(nLeft, 6);
    SetStored(CountAt(), 2);
    EXPECT_EQ(TokenHandle::GetPINInfo(kToken, &nLeft), 0u);
    EXPECT_EQ(nLeft, 2);
    EXPECT_EQ(TokenHandle::GetPINInfo(nullptr, &nLeft), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TokenHandle::GetPINInfo(kToken, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TokenHandle::GetPINInfo("Missing", &nLeft), E_FAIL);

    char* pszName = nullptr;
    ASSERT_EQ(pToken->GetTokenName(&pszName), 0u);
    EXPECT_STREQ(pszName, kToken);
    delete[] pszName;
    EXPECT_EQ(pToken->GetTokenName(nullptr), ERROR_INVALID_PARAMETER);

    char* pszInfo = nullptr;
    ASSERT_EQ(pToken->GenerateInfo(&pszInfo), 0u);
    EXPECT_EQ(std::string(pszInfo), InfoOf(kFullName, kToken));
    delete[] pszInfo;
    EXPECT_EQ(pToken->GenerateInfo(nullptr), ERROR_INVALID_PARAMETER);
    TokenHandle stUnnamed(1, nullptr);
    EXPECT_EQ(stUnnamed.GenerateInfo(&pszInfo), E_FAIL);
}

}  // namespace
