#include "core/token/TokenGlobalData.h"

#include <cstring>

namespace {
struct _pkcs11ConfigInfo {
    int nImportCertStrategy;
    int nCertPinCodeStrategy;
    char szTokenLabel[32];
    char szManufacturerID[32];
    char szTokenModel[16];
    char szDefaultPIN[16];
    char szP11KeySetFolderName[MAX_PATH_LEN];
    char szP11DefaultTokenName[MAX_PATH_LEN];
};

_pkcs11ConfigInfo pkcs11ConfigInfo = {
    0, 0, "QYRA PKCS#11 V3.0", "QYRA Co., Ltd", "QYRA P11 V3.0", "908172", "KeySet",
    "QYRAPkcs11DefaultKey",
};

// Zero the field, then copy the text with its NUL. A text too long for the
// field is cut so the field always stays terminated.
template <size_t N>
void SetField(char (&szField)[N], const char* pszText)
{
    memset(szField, 0, N);
    if (pszText != nullptr) {
        strncpy(szField, pszText, N - 1);
    }
}
}  // namespace

void TokenGlobalData::SetImportCertStrategy(int nStrategy)
{
    if (nStrategy == 0 || nStrategy == 1) pkcs11ConfigInfo.nImportCertStrategy = nStrategy;
}

void TokenGlobalData::SetCertPinCodeStrategy(int nStrategy)
{
    if (nStrategy == 0 || nStrategy == 1) pkcs11ConfigInfo.nCertPinCodeStrategy = nStrategy;
}

int TokenGlobalData::GetImportCertStrategy() { return pkcs11ConfigInfo.nImportCertStrategy; }
int TokenGlobalData::GetCertPinCodeStrategy() { return pkcs11ConfigInfo.nCertPinCodeStrategy; }

void TokenGlobalData::SetTokenLabel(const char* p) { SetField(pkcs11ConfigInfo.szTokenLabel, p); }
void TokenGlobalData::SetManufacturerID(const char* p) { SetField(pkcs11ConfigInfo.szManufacturerID, p); }
void TokenGlobalData::SetTokenModel(const char* p) { SetField(pkcs11ConfigInfo.szTokenModel, p); }
void TokenGlobalData::SetDefaultPIN(const char* p) { SetField(pkcs11ConfigInfo.szDefaultPIN, p); }
void TokenGlobalData::SetP11KeySetFolderName(const char* p) { SetField(pkcs11ConfigInfo.szP11KeySetFolderName, p); }
void TokenGlobalData::SetP11DefaultTokenName(const char* p) { SetField(pkcs11ConfigInfo.szP11DefaultTokenName, p); }

char* TokenGlobalData::GetTokenLabel() { return pkcs11ConfigInfo.szTokenLabel; }
char* TokenGlobalData::GetManufacturerID() { return pkcs11ConfigInfo.szManufacturerID; }
char* TokenGlobalData::GetTokenModel() { return pkcs11ConfigInfo.szTokenModel; }
char* TokenGlobalData::GetDefaultPIN() { return pkcs11ConfigInfo.szDefaultPIN; }
char* TokenGlobalData::GetP11KeySetFolderName() { return pkcs11ConfigInfo.szP11KeySetFolderName; }
char* TokenGlobalData::GetP11DefaultTokenName() { return pkcs11ConfigInfo.szP11DefaultTokenName; }
