#include "core/token/TokenGlobalData.h"

#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(TokenGlobalDataTest, StrategiesKeepTheirValueForAnythingButZeroOrOne)
{
    struct Strategy {
        const char* pszName;
        std::function<void(int)> set;
        std::function<int()> get;
    };
    const Strategy strategies[] = {
        {"import certificate", TokenGlobalData::SetImportCertStrategy, TokenGlobalData::GetImportCertStrategy},
        {"certificate PIN code", TokenGlobalData::SetCertPinCodeStrategy, TokenGlobalData::GetCertPinCodeStrategy},
    };
    for (const Strategy& s : strategies) {
        SCOPED_TRACE(s.pszName);
        EXPECT_EQ(s.get(), 0);
        s.set(1);
        EXPECT_EQ(s.get(), 1);
        for (int nIgnored : {2, -1, 0x7FFFFFFF}) {
            s.set(nIgnored);
            EXPECT_EQ(s.get(), 1);
        }
        s.set(0);
        EXPECT_EQ(s.get(), 0);
    }
}

TEST(TokenGlobalDataTest, TextFieldsHoldTheirTextWithItsTerminator)
{
    struct Field {
        const char* pszName;
        std::function<void(const char*)> set;
        std::function<char*()> get;
        const char* pszInitial;
        size_t nWidth;
    };
    const Field fields[] = {
        {"label", TokenGlobalData::SetTokenLabel, TokenGlobalData::GetTokenLabel, "QYRA PKCS#11 V3.0", 32},
        {"manufacturer", TokenGlobalData::SetManufacturerID, TokenGlobalData::GetManufacturerID, "QYRA Co., Ltd", 32},
        {"model", TokenGlobalData::SetTokenModel, TokenGlobalData::GetTokenModel, "QYRA P11 V3.0", 16},
        {"default PIN", TokenGlobalData::SetDefaultPIN, TokenGlobalData::GetDefaultPIN, "908172", 16},
        {"key set folder", TokenGlobalData::SetP11KeySetFolderName, TokenGlobalData::GetP11KeySetFolderName,
         "KeySet", MAX_PATH_LEN},
        {"default token", TokenGlobalData::SetP11DefaultTokenName, TokenGlobalData::GetP11DefaultTokenName,
         "QYRAPkcs11DefaultKey", MAX_PATH_LEN},
    };
    for (const Field& f : fields) {
        SCOPED_TRACE(f.pszName);
        EXPECT_STREQ(f.get(), f.pszInitial);

        // The longest text that fits: every byte but the last is text.
        const std::string strFull(f.nWidth - 1, 'M');
        f.set(strFull.c_str());
        EXPECT_EQ(std::string(f.get()), strFull);

        // A shorter text leaves no trace of the longer one behind it.
        f.set("ab");
        char* pszField = f.get();
        EXPECT_STREQ(pszField, "ab");
        for (size_t i = 2; i < f.nWidth; ++i) {
            EXPECT_EQ(pszField[i], '\0') << "byte " << i;
        }

        // Too long for the field: cut, still terminated.
        const std::string strTooLong(f.nWidth + 10, 'Z');
        f.set(strTooLong.c_str());
        EXPECT_EQ(std::string(f.get()), strTooLong.substr(0, f.nWidth - 1));
        EXPECT_EQ(f.get(), pszField) << "a getter returns the field, not a copy";
    }
}

}  // namespace
