// Process-wide settings, pushed once at start-up and only read afterwards.
#pragma once

#include "core/token/Records.h"

class TokenGlobalData {
public:
    TokenGlobalData() = delete;

    static void SetImportCertStrategy(int nStrategy);
    static void SetCertPinCodeStrategy(int nStrategy);
    static int GetImportCertStrategy();
    static int GetCertPinCodeStrategy();

    // The text setters do not truncate beyond the field: callers pass at
    // most 31 (label, manufacturer), 15 (model, PIN) or 259 characters.
    static void SetTokenLabel(const char* pszText);
    static void SetManufacturerID(const char* pszText);
    static void SetTokenModel(const char* pszText);
    static void SetDefaultPIN(const char* pszText);
    static void SetP11KeySetFolderName(const char* pszText);
    static void SetP11DefaultTokenName(const char* pszText);

    static char* GetTokenLabel();
    static char* GetManufacturerID();
    static char* GetTokenModel();
    static char* GetDefaultPIN();
    static char* GetP11KeySetFolderName();
    static char* GetP11DefaultTokenName();
};
