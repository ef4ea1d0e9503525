// Arbitrary bytes through the container file parser. The bytes are written
// to a file named after the container name they carry (when they carry
// one), so the parser gets past the name check and into the records.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/storage/Container.h"

namespace {
std::string g_strFolder;

void Check(bool bHolds)
{
    if (!bHolds) {
        abort();
    }
}

// The file name the parser expects for these bytes, or a fixed one.
std::string FileNameFor(const uint8_t* pbyData, size_t nSize)
{
    if (nSize >= 17) {
        uint32_t uNameSize = 0;
        memcpy(&uNameSize, pbyData + 12, 4);
        if (uNameSize >= 2 && uNameSize < 260 && uNameSize <= nSize - 16) {
            std::string strName(reinterpret_cast<const char*>(pbyData + 16), uNameSize - 1);
            if (strName.find('\0') == std::string::npos) {
                char* pszLegal = nullptr;
                if (Container::GetLegalContainerName(strName.c_str(), &pszLegal) == 0) {
                    std::string strLegal(pszLegal);
                    delete[] pszLegal;
                    return strLegal;
                }
            }
        }
    }
    return "0000000000000000000000000000000000000000";
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char szTemplate[] = "/tmp/fuzz-container.XXXXXX";
    Check(mkdtemp(szTemplate) != nullptr);
    g_strFolder = szTemplate;
    // The parser may look up the token folder; keep it inside the sandbox.
    setenv("HOME", g_strFolder.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbyData, size_t nSize)
{
    std::string strPath = g_strFolder + "/" + FileNameFor(pbyData, nSize);
    FILE* pFile = fopen(strPath.c_str(), "wb");
    Check(pFile != nullptr);
    Check(nSize == 0 || fwrite(pbyData, 1, nSize, pFile) == nSize);
    fclose(pFile);

    Container container("FuzzToken", "fuzz", false, false, 0);
    RESULT ulResult = container.ParseContainerFileByRealPath(strPath.c_str());
    if (ulResult == 0) {
        // Whatever parsed must read back field by field, from memory.
        container.m_bReload = false;
        for (int nUsage = 1; nUsage <= 2; ++nUsage) {
            for (int nType = 1; nType <= 14; ++nType) {
                unsigned char* pbyField = nullptr;
                int nFieldSize = 0;
                if (container.ReadFileInfo(nUsage, &pbyField, &nFieldSize, nType) == 0) {
                    Check(nFieldSize >= 0);
                    delete[] pbyField;
                }
            }
        }
    }
    unlink(strPath.c_str());
    return 0;
}
