// A throwaway home with the module's key set folder name, and raw file
// helpers that bypass the code under test.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/platform/PlatformOverrides.h"
#include "core/token/TokenGlobalData.h"
#include "support/TempHome.h"

class StorageFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_home.Enter();
        TokenGlobalData::SetP11KeySetFolderName("KeySet_Velmoray");
        std::filesystem::create_directories(Scratch());
    }
    void TearDown() override
    {
        ResetPlatformOverrides();
        m_home.Leave();
    }

    std::string Scratch() const { return m_home.Path() + "/scratch"; }
    std::string InScratch(const std::string& strName) const { return Scratch() + "/" + strName; }

public:
    static void WriteRaw(const std::string& strPath, const std::string& strContent)
    {
        std::ofstream(strPath, std::ios::binary) << strContent;
    }
    static std::string ReadRaw(const std::string& strPath)
    {
        std::ifstream in(strPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static unsigned ModeOf(const std::string& strPath)
    {
        struct stat st;
        return lstat(strPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFFFFFu;
    }
    // Names in the folder, in the file system's own order.
    static std::vector<std::string> RawNames(const std::string& strFolder)
    {
        std::vector<std::string> vtrNames;
        for (const auto& entry : std::filesystem::directory_iterator(strFolder)) {
            vtrNames.push_back(entry.path().filename().string());
        }
        return vtrNames;
    }

protected:
    TempHome m_home;
};
