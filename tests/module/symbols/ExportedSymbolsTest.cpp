// The module's dynamic symbol table holds the 68 C_ functions and nothing
// else: no core class, no library symbol leaks into the host.
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/FunctionNames.h"

namespace {

TEST(ExportedSymbolsTest, ExactlyThe68CryptokiFunctions)
{
    const std::string strCommand = std::string("nm -D --defined-only '") + TESSERA_MODULE_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(strCommand.c_str(), "r"), pclose);
    ASSERT_NE(pipe, nullptr);

    std::set<std::string> setExported;
    std::string strUnexpected;
    char szLine[1024];
    while (fgets(szLine, sizeof(szLine), pipe.get()) != nullptr) {
        std::istringstream line(szLine);
        std::string strAddress, strType, strName;
        if (!(line >> strAddress >> strType >> strName)) continue;
        strName = strName.substr(0, strName.find('@'));
        if (strType != "T") {
            strUnexpected += strType + " " + strName + "\n";
        }
        setExported.insert(strName);
    }
    ASSERT_EQ(pclose(pipe.release()), 0) << "nm failed on " << TESSERA_MODULE_PATH;

    std::set<std::string> setExpected(std::begin(kPkcs11FunctionNames), std::end(kPkcs11FunctionNames));
    for (const std::string& strName : setExported) {
        if (setExpected.count(strName) == 0) strUnexpected += "extra " + strName + "\n";
    }
    for (const std::string& strName : setExpected) {
        if (setExported.count(strName) == 0) strUnexpected += "missing " + strName + "\n";
    }
    EXPECT_EQ(strUnexpected, "");
}

}  // namespace
