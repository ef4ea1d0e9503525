// Slots through the loaded module: the list, its numbering, slot info and
// the checks every slot entry point makes.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "SlotsFixture.h"

namespace {

using SlotTest = SlotsFixture;

TEST_F(SlotTest, FirstUseGivesOneSlotWithTheDefaultToken)
{
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    EXPECT_TRUE(std::filesystem::is_regular_file(TokenFolder(kDefaultToken) + "/.config"));
    // Asking for all slots or for those with a token gives the same list.
    for (CK_BBOOL bPresent : std::vector<CK_BBOOL>{CK_TRUE, CK_FALSE, 2}) {
        EXPECT_EQ(SlotList(bPresent), std::vector<CK_SLOT_ID>{1}) << int(bPresent);
    }
}

TEST_F(SlotTest, ListSizesAndShortBuffers)
{
    MakeToken("A", "A");
    MakeToken("B", "B");
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);

    const struct {
        bool bWithBuffer;
        CK_ULONG ulGiven;
        CK_RV rvExpected;
        CK_ULONG ulCountAfter;
        std::vector<CK_SLOT_ID> vtrWritten;
    } kCases[] = {
        {false, 0, CKR_OK, 2, {}},
        {true, 0, CKR_BUFFER_TOO_SMALL, 2, {}},
        {true, 1, CKR_BUFFER_TOO_SMALL, 2, {}},
        {true, 2, CKR_OK, 2, {1, 2}},
        {true, 5, CKR_OK, 2, {1, 2}},
    };
    for (const auto& stCase : kCases) {
        SCOPED_TRACE(testing::Message() << stCase.bWithBuffer << " " << stCase.ulGiven);
        std::vector<CK_SLOT_ID> vtrList(5, 0xEE);
        CK_ULONG ulCount = stCase.ulGiven;
        EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, stCase.bWithBuffer ? vtrList.data() : nullptr, &ulCount),
                  stCase.rvExpected);
        EXPECT_EQ(ulCount, stCase.ulCountAfter);
        std::vector<CK_SLOT_ID> vtrExpected = stCase.vtrWritten;
        vtrExpected.resize(5, 0xEE);
        EXPECT_EQ(vtrList, vtrExpected);
    }
    EXPECT_EQ(p11->C_GetSlotList(CK_FALSE, nullptr, nullptr), CKR_ARGUMENTS_BAD);
}

TEST_F(SlotTest, SlotsAreNumberedByListingOrderSkippingFoldersWithoutTokenFile)
{
    MakeToken("A", "Token A");
    std::filesystem::create_directories(TokenFolder("B"));
    MakeToken("C", "Token C");
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    EXPECT_EQ(SlotList(), (std::vector<CK_SLOT_ID>{1, 2}));
    EXPECT_EQ(TokenLabel(1), Padded("Token A", 32));
    EXPECT_EQ(TokenLabel(2), Padded("Token C", 32));
    // No default token while some folder holds a token.
    EXPECT_FALSE(std::filesystem::exists(TokenFolder(kDefaultToken)));
}

TEST_F(SlotTest, SlotInfoFields)
{
    MakeToken("A", "A");
    MakeToken("B", "B");
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    for (CK_SLOT_ID slot : std::vector<CK_SLOT_ID>{1, 2}) {
        CK_SLOT_INFO info;
        memset(&info, 0xAB, sizeof(info));
        ASSERT_EQ(p11->C_GetSlotInfo(slot, &info), CKR_OK);
        EXPECT_EQ(Field(info.slotDescription, 64), Padded("Slot : " + std::to_string(slot), 64));
        EXPECT_EQ(Field(info.manufacturerID, 32), Padded("QYRA Co., Ltd", 32));
        EXPECT_EQ(info.flags, static_cast<CK_FLAGS>(CKF_TOKEN_PRESENT));
        EXPECT_EQ(info.hardwareVersion.major, 3);
        EXPECT_EQ(info.hardwareVersion.minor, 1);
        EXPECT_EQ(info.firmwareVersion.major, 3);
        EXPECT_EQ(info.firmwareVersion.minor, 1);
    }
}

// Every entry point that names a slot, called for one slot.
std::vector<std::pair<const char*, CK_RV>> CallAll(CK_FUNCTION_LIST_PTR p11, CK_SLOT_ID slot)
{
    CK_SLOT_INFO slotInfo;
    CK_TOKEN_INFO tokenInfo;
    CK_MECHANISM_INFO mechInfo;
    CK_ULONG ulCount = 0;
    CK_UTF8CHAR byLabel[32];
    memset(byLabel, ' ', sizeof(byLabel));
    CK_UTF8CHAR byPIN[] = "908172";
    return {
        {"C_GetSlotInfo", p11->C_GetSlotInfo(slot, &slotInfo)},
        {"C_GetTokenInfo", p11->C_GetTokenInfo(slot, &tokenInfo)},
        {"C_GetMechanismList", p11->C_GetMechanismList(slot, nullptr, &ulCount)},
        {"C_GetMechanismInfo", p11->C_GetMechanismInfo(slot, CKM_RSA_PKCS, &mechInfo)},
        {"C_InitToken", p11->C_InitToken(slot, byPIN, 6, byLabel)},
    };
}

TEST_F(SlotTest, UnknownSlotsAndTheUninitialisedModuleAreRefused)
{
    for (const auto& [pszName, rv] : CallAll(p11, 1)) {
        EXPECT_EQ(rv, CKR_CRYPTOKI_NOT_INITIALIZED) << pszName;
    }
    CK_ULONG ulCount = 0;
    EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &ulCount), CKR_CRYPTOKI_NOT_INITIALIZED);

    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    for (CK_SLOT_ID slot : {CK_SLOT_ID{0}, CK_SLOT_ID{2}, CK_SLOT_ID{0x10001}, ~CK_SLOT_ID{0}}) {
        for (const auto& [pszName, rv] : CallAll(p11, slot)) {
            EXPECT_EQ(rv, CKR_SLOT_ID_INVALID) << pszName << " on slot " << slot;
        }
    }
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK);
    for (const auto& [pszName, rv] : CallAll(p11, 1)) {
        EXPECT_EQ(rv, CKR_CRYPTOKI_NOT_INITIALIZED) << pszName << " after C_Finalize";
    }
}

TEST_F(SlotTest, InfoOfASlotWhoseTokenCannotBeLoadedIsNotWritten)
{
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    std::ofstream(TokenFolder(kDefaultToken) + "/.config", std::ios::trunc) << "broken";

    CK_SLOT_INFO slotInfo;
    memset(&slotInfo, 0xAB, sizeof(slotInfo));
    EXPECT_EQ(p11->C_GetSlotInfo(1, &slotInfo), CKR_HOST_MEMORY);
    EXPECT_TRUE(AllBytesAre(&slotInfo, sizeof(slotInfo), 0xAB));

    CK_TOKEN_INFO tokenInfo;
    memset(&tokenInfo, 0xAB, sizeof(tokenInfo));
    EXPECT_EQ(p11->C_GetTokenInfo(1, &tokenInfo), CKR_HOST_MEMORY);
    EXPECT_TRUE(AllBytesAre(&tokenInfo, sizeof(tokenInfo), 0xAB));

    EXPECT_EQ(p11->C_GetSlotInfo(1, nullptr), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_GetTokenInfo(1, nullptr), CKR_ARGUMENTS_BAD);
}

}  // namespace
