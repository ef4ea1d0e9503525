// A token's containers: which entries of its folder an opening loads, the
// link from each container back to its token, and the sealing secret asked
// for through that link.
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "TokenFixture.h"
#include "core/storage/Container.h"

namespace {

class TokenContainersTest : public TokenFixture {};

TEST_F(TokenContainersTest, OpeningLoadsEveryContainerFileAndStoresTheCount)
{
    auto pNew = NewToken();
    ASSERT_NE(pNew, nullptr);
    delete Container::CreateNewContainer(kToken, "keys", true, KEY_TYPE_SM2);
    delete Container::CreateNewDataContainer(kToken, "data", true);
    // Entries that are no containers: a sub-folder (even one holding a
    // container file), a file that does not parse, a leading part of ".config".
    std::filesystem::create_directories(TokenFolder() + "/sub");
    char* pszPath = nullptr;
    ASSERT_EQ(Container::GetContainerPathName(kToken, "keys", &pszPath), 0u);
    std::filesystem::copy_file(pszPath, TokenFolder() + "/sub/" + std::filesystem::path(pszPath).filename().string());
    delete[] pszPath;
    std::ofstream(TokenFolder() + "/garbage") << "garbage";
    std::ofstream(TokenFolder() + "/.con") << "garbage";

    auto pToken = OpenToken();
    ASSERT_NE(pToken, nullptr);
    EXPECT_EQ(pToken->m_ulCurrentFileCount, 2u);
    EXPECT_EQ(LE32(ReadConfig(), After(132)), 2u);  // the stored container count
    ASSERT_EQ(pToken->m_vtrContainerObjectSet.size(), 2u);
    std::set<std::string> setNames;
    for (const _containerObjectInfo& stEntry : pToken->m_vtrContainerObjectSet) {
        ASSERT_NE(stEntry.pContainerHandle, nullptr);
        EXPECT_EQ(stEntry.pContainerHandle->m_pTokenHandle, pToken.get());
        EXPECT_TRUE(stEntry.pContainerHandle->m_bIsToken);
        EXPECT_STREQ(stEntry.pContainerHandle->m_szKeyName, kToken);
        EXPECT_FALSE(stEntry.bIsSymKey);
        EXPECT_EQ(stEntry.pSignPriKeyHandle, nullptr);
        setNames.insert(stEntry.pContainerHandle->m_szContainerName);
    }
    EXPECT_EQ(setNames, (std::set<std::string>{"data", "keys"}));
}

TEST_F(TokenContainersTest, ContainerAsksItsTokenForTheSealingSecret)
{
    auto pNew = NewToken();
    ASSERT_NE(pNew, nullptr);
    delete Container::CreateNewContainer(kToken, "keys", true, KEY_TYPE_SM2);
    auto pToken = OpenToken();
    ASSERT_NE(pToken, nullptr);
    ASSERT_EQ(pToken->m_vtrContainerObjectSet.size(), 1u);
    Container& container = *pToken->m_vtrContainerObjectSet[0].pContainerHandle;

    // Not verified yet: the token prompts; a cancel passes up unchanged.
    PinScript::Set({Cancel()});
    char* pszSecret = nullptr;
    EXPECT_EQ(container.GetRealPIN(&pszSecret, false, false), 1u);
    EXPECT_EQ(pszSecret, nullptr);

    PinScript::Set({Answer(kDefaultPIN)});
    ASSERT_EQ(container.GetRealPIN(&pszSecret, false, false), 0u);
    ASSERT_NE(pszSecret, nullptr);
    EXPECT_EQ(std::string(pszSecret), InfoOf(kFullName, kToken));
    delete[] pszSecret;

    // Verified on this token: no second prompt.
    pszSecret = nullptr;
    ASSERT_EQ(container.GetRealPIN(&pszSecret, false, false), 0u);
    EXPECT_EQ(std::string(pszSecret), InfoOf(kFullName, kToken));
    delete[] pszSecret;
    EXPECT_EQ(PinScript::Calls().size(), 1u);

    EXPECT_EQ(container.GetRealPIN(nullptr, false, false), ERROR_INVALID_PARAMETER);
    Container unlinked(kToken, "keys", false, true, KEY_TYPE_SM2);
    EXPECT_EQ(unlinked.GetRealPIN(&pszSecret, false, false), E_FAIL);
}

}  // namespace
