#include "support/TempHome.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

TempHome::~TempHome() { Leave(); }

void TempHome::Enter()
{
    Leave();
    std::filesystem::path root = std::filesystem::path(TESSERA_BINARY_DIR) / "test-homes";
    std::filesystem::create_directories(root);
    std::string strTemplate = (root / "home.XXXXXX").string();
    std::vector<char> buf(strTemplate.begin(), strTemplate.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_strPath = buf.data();

    const char* pszHome = getenv("HOME");
    m_bHadHome = pszHome != nullptr;
    m_strOldHome = pszHome ? pszHome : "";
    const char* pszXdg = getenv("XDG_DATA_HOME");
    m_bHadXdg = pszXdg != nullptr;
    m_strOldXdg = pszXdg ? pszXdg : "";

    setenv("HOME", m_strPath.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
}

void TempHome::Leave()
{
    if (m_strPath.empty()) {
        return;
    }
    if (m_bHadHome) setenv("HOME", m_strOldHome.c_str(), 1); else unsetenv("HOME");
    if (m_bHadXdg) setenv("XDG_DATA_HOME", m_strOldXdg.c_str(), 1); else unsetenv("XDG_DATA_HOME");
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
    m_strPath.clear();
}

std::string TempHome::BaseFolder() const
{
    return m_strPath + "/.local/share/QYRA/PKCS11";
}
