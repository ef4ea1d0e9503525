// Arbitrary bytes through the token file parser. The bytes become the
// ".config" of a token folder named after the name they carry (when that
// is a usable folder name), so the parser gets past the name check.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/token/TokenHandle.h"

// The core's PIN prompt: never answers here.
extern "C" int GetUserPIN_callback(int, int, int, int, char**) { return -1; }

namespace {
std::string g_strKeySet;

void Check(bool bHolds)
{
    if (!bHolds) {
        abort();
    }
}

std::string TokenNameFor(const uint8_t* pbyData, size_t nSize)
{
    if (nSize >= 13) {
        uint32_t uNameSize = 0;
        memcpy(&uNameSize, pbyData + 8, 4);
        if (uNameSize >= 2 && uNameSize < 64 && uNameSize <= nSize - 12) {
            std::string strName(reinterpret_cast<const char*>(pbyData + 12), uNameSize - 1);
            if (strName.find_first_of(std::string("/\0", 2)) == std::string::npos && strName != "." &&
                strName != "..") {
                return strName;
            }
        }
    }
    return "FuzzToken";
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char szTemplate[] = "/tmp/fuzz-token.XXXXXX";
    Check(mkdtemp(szTemplate) != nullptr);
    setenv("HOME", szTemplate, 1);
    unsetenv("XDG_DATA_HOME");
    g_strKeySet = std::string(szTemplate) + "/.local/share/QYRA/PKCS11/KeySet";
    std::string strPath;
    for (const char* pszPart : {"/.local", "/share", "/QYRA", "/PKCS11", "/KeySet"}) {
        strPath += pszPart;
        mkdir((std::string(szTemplate) + strPath).c_str(), 0700);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbyData, size_t nSize)
{
    std::string strName = TokenNameFor(pbyData, nSize);
    std::string strFolder = g_strKeySet + "/" + strName;
    mkdir(strFolder.c_str(), 0700);
    std::string strFile = strFolder + "/.config";
    FILE* pFile = fopen(strFile.c_str(), "wb");
    Check(pFile != nullptr);
    Check(nSize == 0 || fwrite(pbyData, 1, nSize, pFile) == nSize);
    fclose(pFile);

    TokenHandle token(1, strName.c_str());
    RESULT ulResult = token.ParseTokenFile(nullptr);
    if (ulResult == 0) {
        // A parsed file writes back to the same bytes.
        Check(token.GenerateTokenFile() == 0);
        FILE* pBack = fopen(strFile.c_str(), "rb");
        Check(pBack != nullptr);
        std::string strBack;
        char szBuffer[4096];
        size_t n;
        while ((n = fread(szBuffer, 1, sizeof(szBuffer), pBack)) > 0) {
            strBack.append(szBuffer, n);
        }
        fclose(pBack);
        TokenHandle reread(1, strName.c_str());
        Check(reread.ParseTokenFile(nullptr) == 0);
        Check(reread.m_stEncryptedPIN.cbData == token.m_stEncryptedPIN.cbData);
        Check(memcmp(reread.m_stEncryptedPIN.pbData, token.m_stEncryptedPIN.pbData, token.m_stEncryptedPIN.cbData) == 0);
        Check(reread.m_ulCurrentPINCount == token.m_ulCurrentPINCount);
    }
    unlink(strFile.c_str());
    rmdir(strFolder.c_str());
    return 0;
}
