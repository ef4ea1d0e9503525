// How the two libraries meet: libtessera.so needs libpinveil.so and finds it
// beside itself; libpinveil.so exports its two functions and nothing else.
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/TempHome.h"

namespace {

std::string Run(const std::string& strCommand)
{
    std::string strOutput;
    FILE* pPipe = popen(strCommand.c_str(), "r");
    if (pPipe == nullptr) {
        return strOutput;
    }
    char achBuffer[4096];
    for (size_t n; (n = fread(achBuffer, 1, sizeof(achBuffer), pPipe)) > 0;) {
        strOutput.append(achBuffer, n);
    }
    pclose(pPipe);
    return strOutput;
}

// Where the dynamic loader finds libpinveil.so for the module at strModule.
std::string ResolvedPinVeil(const std::string& strModule)
{
    std::istringstream output(Run("env -u LD_LIBRARY_PATH ldd '" + strModule + "'"));
    for (std::string strLine; std::getline(output, strLine);) {
        std::istringstream fields(strLine);
        std::string strName, strArrow, strPath;
        fields >> strName >> strArrow >> strPath;
        if (strName == "libpinveil.so" && strArrow == "=>") {
            return strPath;
        }
    }
    return "";
}

// Names of the dynamic symbols of strLibrary, with nm's options.
std::set<std::string> DynamicSymbols(const std::string& strLibrary, const std::string& strOptions)
{
    std::set<std::string> setNames;
    std::istringstream output(Run("nm -D " + strOptions + " '" + strLibrary + "'"));
    for (std::string strLine; std::getline(output, strLine);) {
        std::istringstream fields(strLine);
        std::string strField, strLast;
        while (fields >> strField) {
            strLast = strField;
        }
        if (!strLast.empty()) {
            setNames.insert(strLast.substr(0, strLast.find('@')));
        }
    }
    return setNames;
}

TEST(LinkageTest, ModuleFindsPinVeilBesideItself)
{
    namespace fs = std::filesystem;
    const fs::path module = TESSERA_MODULE_PATH;
    const fs::path pinveil = TESSERA_PINVEIL_PATH;
    ASSERT_EQ(module.parent_path(), pinveil.parent_path());
    EXPECT_EQ(fs::canonical(ResolvedPinVeil(module.string())), fs::canonical(pinveil));

    // Copied elsewhere as a pair, as when installed, the module still finds
    // its own sibling.
    TempHome folder;
    folder.Enter();
    const fs::path copy = fs::path(folder.Path()) / "lib";
    fs::create_directories(copy);
    fs::copy_file(module, copy / module.filename());
    fs::copy_file(pinveil, copy / pinveil.filename());
    std::string strResolved = ResolvedPinVeil((copy / module.filename()).string());
    ASSERT_FALSE(strResolved.empty());
    EXPECT_EQ(fs::canonical(strResolved), fs::canonical(copy / pinveil.filename()));
}

TEST(LinkageTest, ExportsAreExactlyTheInterface)
{
    EXPECT_EQ(DynamicSymbols(TESSERA_PINVEIL_PATH, "--defined-only"),
              (std::set<std::string>{"GetUserPIN", "getLocalizedString"}));

    // The module imports the prompt and keeps its own callback to itself.
    std::set<std::string> setImported = DynamicSymbols(TESSERA_MODULE_PATH, "--undefined-only");
    EXPECT_EQ(setImported.count("GetUserPIN"), 1u);
    std::set<std::string> setExported = DynamicSymbols(TESSERA_MODULE_PATH, "--defined-only");
    EXPECT_EQ(setExported.count("GetUserPIN_callback"), 0u);
    for (const std::string& strName : setExported) {
        EXPECT_EQ(strName.rfind("C_", 0), 0u) << strName << " is exported by the module";
    }
}

}  // namespace
