// A throwaway home folder: HOME points at a fresh folder under the build
// tree (XDG_DATA_HOME unset) until Leave(), which removes it.
#pragma once

#include <string>

class TempHome {
public:
    TempHome() = default;
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    void Enter();
    void Leave();
    const std::string& Path() const { return m_strPath; }
    // $HOME/.local/share/QYRA/PKCS11
    std::string BaseFolder() const;

private:
    std::string m_strPath;
    std::string m_strOldHome;
    std::string m_strOldXdg;
    bool m_bHadHome = false;
    bool m_bHadXdg = false;
};
