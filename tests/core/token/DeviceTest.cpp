// The device: which folders of the key set become slots and in what order,
// the default token on first use, and the key set listing.
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "TokenFixture.h"
#include "core/storage/Container.h"
#include "core/storage/StoragePath.h"
#include "core/token/DeviceHandle.h"

namespace {

class DeviceTest : public TokenFixture {
protected:
    void SetUp() override
    {
        TokenFixture::SetUp();
        // Start from an empty home: no key set folder at all.
        std::filesystem::remove_all(m_home.BaseFolder());
    }

    std::string KeySet() const { return m_home.BaseFolder() + "/KeySet_Velmoray"; }
    // A token folder; with a token file when bWithConfig (only its presence
    // counts for the slot table).
    void MakeFolder(const std::string& strName, bool bWithConfig) const
    {
        std::filesystem::create_directories(KeySet() + "/" + strName);
        if (bWithConfig) {
            std::ofstream(KeySet() + "/" + strName + "/.config") << "x";
        }
    }

    static std::vector<std::pair<unsigned long, std::string>> Slots(DeviceHandle& device)
    {
        unsigned long nCount = 0;
        _slotDesc* pList = nullptr;
        EXPECT_EQ(device.GetSlotList(&pList, &nCount), 0u);
        std::vector<std::pair<unsigned long, std::string>> v;
        for (unsigned long i = 0; pList != nullptr && i < nCount; ++i) {
            v.emplace_back(pList[i].ulSlotID, pList[i].szTokenName);
        }
        delete[] pList;
        return v;
    }
    static std::string NameOf(DeviceHandle& device, unsigned long ulSlotID)
    {
        char* pszName = nullptr;
        if (device.GetTokenNameBySlotID(ulSlotID, &pszName) != 0) {
            return "<error>";
        }
        std::string str(pszName);
        delete[] pszName;
        return str;
    }
};

using SlotList = std::vector<std::pair<unsigned long, std::string>>;

TEST_F(DeviceTest, FirstUseCreatesTheDefaultTokenAsSlot1)
{
    DeviceHandle device;
    ASSERT_EQ(device.InitDevice(), 0u);
    EXPECT_EQ(Slots(device), (SlotList{{1, kToken}}));
    // A real token: it opens, under the default PIN.
    EXPECT_NE(OpenToken(), nullptr);
    EXPECT_EQ(StoredFlags(), TOKEN_DEFAULT_FLAGS);
    EXPECT_EQ(OpenText(StoredVerifier(), kDefaultPIN), InfoOf(kFullName, kToken));
    EXPECT_FALSE(device.bIsSlotInvalid(0));
    EXPECT_TRUE(device.bIsSlotInvalid(1));
    EXPECT_FALSE(device.bIsSlotInvalid(2));
    EXPECT_EQ(NameOf(device, 1), kToken);

    // The next start finds it and creates nothing more.
    DeviceHandle again;
    ASSERT_EQ(again.InitDevice(), 0u);
    EXPECT_EQ(Slots(again), (SlotList{{1, kToken}}));
    std::vector<std::string> vtrNames;
    for (const auto& entry : std::filesystem::directory_iterator(KeySet())) {
        vtrNames.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(vtrNames, std::vector<std::string>{kToken});
}

TEST_F(DeviceTest, SlotsFollowTheListingOfFoldersWithATokenFile)
{
    MakeFolder("A", true);
    MakeFolder("B", false);
    MakeFolder("C", true);
    // A file named like a token folder is no token.
    std::ofstream(KeySet() + "/D") << "x";
    DeviceHandle device;
    ASSERT_EQ(device.InitDevice(), 0u);
    EXPECT_EQ(Slots(device), (SlotList{{1, "A"}, {2, "C"}}));
    EXPECT_FALSE(std::filesystem::exists(TokenFolder()));

    EXPECT_EQ(NameOf(device, 2), "C");
    char* pszName = nullptr;
    EXPECT_EQ(device.GetTokenNameBySlotID(0, &pszName), static_cast<RESULT>(CKR_SLOT_ID_INVALID));
    EXPECT_EQ(device.GetTokenNameBySlotID(3, &pszName), E_FAIL);
    EXPECT_EQ(pszName, nullptr);
    EXPECT_FALSE(device.bIsSlotInvalid(3));

    unsigned long nCount = 0;
    EXPECT_EQ(device.GetSlotList(nullptr, &nCount), 0u);
    EXPECT_EQ(nCount, 2u);
    EXPECT_EQ(device.GetSlotList(nullptr, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(DeviceTest, DefaultTokenComesWhenNoFolderQualifies)
{
    MakeFolder("B", false);
    std::ofstream(KeySet() + "/D") << "x";
    DeviceHandle device;
    ASSERT_EQ(device.InitDevice(), 0u);
    EXPECT_EQ(Slots(device), (SlotList{{1, kToken}}));
    EXPECT_TRUE(std::filesystem::exists(ConfigPath()));
}

TEST_F(DeviceTest, SlotTableStopsAt255)
{
    for (int i = 0; i < 256; ++i) {
        char szName[8];
        snprintf(szName, sizeof(szName), "T%03d", i);
        MakeFolder(szName, true);
    }
    DeviceHandle device;
    ASSERT_EQ(device.InitDevice(), 0u);
    const SlotList vtrSlots = Slots(device);
    ASSERT_EQ(vtrSlots.size(), 255u);
    EXPECT_EQ(vtrSlots.back(), (std::pair<unsigned long, std::string>{255, "T254"}));
    EXPECT_FALSE(device.bIsSlotInvalid(256));
}

TEST_F(DeviceTest, KeySetListingShowsKeyContainersWithTheirCertificates)
{
    std::vector<_KEY_CONTEXT> vtrContext;
    // No key set folder yet: an empty listing.
    ASSERT_EQ(DeviceHandle::GetAllKeyContext(vtrContext), 0u);
    EXPECT_TRUE(vtrContext.empty());

    MakeFolder("A", true);
    MakeFolder("B", true);
    MakeFolder("C", false);
    const std::string strCert = "signature certificate bytes";
    {
        std::unique_ptr<Container> pKeys(Container::CreateNewContainer("A", "keys", true, KEY_TYPE_RSA));
        ASSERT_NE(pKeys, nullptr);
        ASSERT_EQ(pKeys->WriteFileInfo(AT_SIGNATURE, reinterpret_cast<const unsigned char*>(strCert.data()),
                                       static_cast<int>(strCert.size()), KEYINFOID_CERTIFICATE, true),
                  0u);
        std::unique_ptr<Container> pData(Container::CreateNewDataContainer("A", "data", true));
        ASSERT_NE(pData, nullptr);
        delete Container::CreateNewContainer("C", "hidden", true, KEY_TYPE_RSA);
    }
    std::ofstream(KeySet() + "/A/garbage") << "x";

    ASSERT_EQ(DeviceHandle::GetAllKeyContext(vtrContext), 0u);
    ASSERT_EQ(vtrContext.size(), 2u);
    EXPECT_STREQ(vtrContext[0].szTokenName, "A");
    char* pszKeySetPath = nullptr;
    ASSERT_EQ(GetRealKeySetPath(&pszKeySetPath), 0u);
    EXPECT_EQ(std::string(vtrContext[0].szTokenPath), std::string(pszKeySetPath) + "/A");
    delete[] pszKeySetPath;
    ASSERT_EQ(vtrContext[0].vtrContainers.size(), 1u);
    const _CONTAINER_CONTEXT& stKeys = vtrContext[0].vtrContainers[0];
    EXPECT_STREQ(stKeys.szContainerName, "keys");
    EXPECT_STREQ(stKeys.szTokenName, "A");
    ASSERT_NE(stKeys.stSignCert.pbData, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(stKeys.stSignCert.pbData), stKeys.stSignCert.cbData), strCert);
    EXPECT_EQ(stKeys.stExchangeCert.pbData, nullptr);
    EXPECT_EQ(stKeys.stExchangeCert.cbData, 0u);
    EXPECT_STREQ(vtrContext[1].szTokenName, "B");
    EXPECT_TRUE(vtrContext[1].vtrContainers.empty());

    EXPECT_EQ(DeviceHandle::ClearAllKeyContext(vtrContext), 0u);
    EXPECT_TRUE(vtrContext.empty());
}

}  // namespace
