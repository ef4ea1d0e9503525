// Token info through the loaded module: every field, and the container
// count that each call takes from the token folder.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "SlotsFixture.h"

namespace {

class TokenInfoTest : public SlotsFixture {
protected:
    CK_TOKEN_INFO Info()
    {
        CK_TOKEN_INFO info;
        memset(&info, 0xAB, sizeof(info));
        EXPECT_EQ(p11->C_GetTokenInfo(1, &info), CKR_OK);
        return info;
    }
};

TEST_F(TokenInfoTest, FieldsOfAFreshToken)
{
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    const CK_TOKEN_INFO info = Info();
    EXPECT_EQ(Field(info.label, 32), Padded("QYRA P11 V3.0", 32));
    EXPECT_EQ(Field(info.manufacturerID, 32), Padded("QYRA Co., Ltd", 32));
    EXPECT_EQ(Field(info.model, 16), Padded("QYRA P11 V3.0", 16));
    // The serial number is the token file's 16 bytes as they are.
    const Bytes vtrConfig = ConfigOf(kDefaultToken);
    const size_t nSerialAt = 108 + strlen(kDefaultToken) + 1;
    ASSERT_GE(vtrConfig.size(), nSerialAt + 16);
    EXPECT_EQ(Field(info.serialNumber, 16), Field(vtrConfig.data() + nSerialAt, 16));
    EXPECT_EQ(info.flags, 0x0008040Cu);
    EXPECT_EQ(info.ulMaxSessionCount, 64u);
    EXPECT_EQ(info.ulSessionCount, 0u);
    EXPECT_EQ(info.ulMaxRwSessionCount, 64u);
    EXPECT_EQ(info.ulRwSessionCount, 0u);
    EXPECT_EQ(info.ulMaxPinLen, 16u);
    EXPECT_EQ(info.ulMinPinLen, 6u);
    EXPECT_EQ(info.ulTotalPublicMemory, 0x100000u);
    EXPECT_EQ(info.ulFreePublicMemory, 0x100000u);
    EXPECT_EQ(info.ulTotalPrivateMemory, 0x100000u);
    EXPECT_EQ(info.ulFreePrivateMemory, 0x100000u);
    EXPECT_EQ(info.hardwareVersion.major, 3);
    EXPECT_EQ(info.hardwareVersion.minor, 1);
    EXPECT_EQ(info.firmwareVersion.major, 3);
    EXPECT_EQ(info.firmwareVersion.minor, 1);
    EXPECT_EQ(Field(info.utcTime, 16), std::string(16, '\0'));
}

TEST_F(TokenInfoTest, EachCallCountsTheContainerFilesOfTheTokenFolder)
{
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    EXPECT_EQ(Info().ulFreePublicMemory, 1024u * 1024u);

    // Two containers, and entries that are none: a sub-folder holding a
    // container file, a file that does not parse.
    MakeContainerFiles(kDefaultToken, 2);
    const std::string strSub = TokenFolder(kDefaultToken) + "/sub";
    std::filesystem::create_directories(strSub);
    for (const auto& entry : std::filesystem::directory_iterator(TokenFolder(kDefaultToken))) {
        if (entry.is_regular_file() && entry.path().filename() != ".config") {
            std::filesystem::copy_file(entry.path(), strSub / entry.path().filename());
        }
    }
    std::ofstream(TokenFolder(kDefaultToken) + "/garbage") << "garbage";

    const CK_TOKEN_INFO info = Info();
    EXPECT_EQ(info.ulFreePublicMemory, 1022u * 1024u);
    EXPECT_EQ(info.ulFreePrivateMemory, 1022u * 1024u);
    EXPECT_EQ(ConfigNumber(kDefaultToken, 132), 2u) << "stored container count";
}

TEST_F(TokenInfoTest, FullTokenHasNoFreeMemory)
{
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    // One more than the token takes: the opening stops at its maximum.
    MakeContainerFiles(kDefaultToken, 1025);
    const CK_TOKEN_INFO info = Info();
    EXPECT_EQ(info.ulFreePublicMemory, 0u);
    EXPECT_EQ(info.ulFreePrivateMemory, 0u);
    EXPECT_EQ(ConfigNumber(kDefaultToken, 132), 1024u);
}

}  // namespace
