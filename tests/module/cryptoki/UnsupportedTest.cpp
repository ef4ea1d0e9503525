#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ModuleFixture.h"

namespace {

struct Refused {
    const char* pszName;
    CK_RV rv;
    const char* pszMessage;
    std::function<CK_RV(CK_FUNCTION_LIST_PTR)> call;
};

const char* const kVerifyParts = "Not support C_VerifyUpdate and C_VerifyFinal, use C_Verify instead";

// Arguments are ignored, so any will do; some are plausible, some are junk.
const std::vector<Refused>& RefusedFunctions()
{
    static CK_BYTE by[16];
    static CK_ULONG ul = sizeof(by);
    static CK_MECHANISM mech = {CKM_RSA_PKCS, nullptr, 0};
    static CK_OBJECT_HANDLE hObj = 0;
    static CK_SLOT_ID slot = 0;
    static const std::vector<Refused> list = {
        {"C_GetOperationState", 0x54, "Don't support C_GetOperationState",
         [](auto p) { return p->C_GetOperationState(1, by, &ul); }},
        {"C_SetOperationState", 0x54, "Don't support C_SetOperationState",
         [](auto p) { return p->C_SetOperationState(1, by, ul, 0, 0); }},
        {"C_CopyObject", 0x54, "Unsupport C_CopyObject now",
         [](auto p) { return p->C_CopyObject(1, 2, nullptr, 0, &hObj); }},
        {"C_GetObjectSize", 0x54, "Unsupport C_GetObjectSize now",
         [](auto p) { return p->C_GetObjectSize(1, 2, &ul); }},
        {"C_SetAttributeValue", 0x54, "Unsupport C_SetAttributeValue now",
         [](auto p) { return p->C_SetAttributeValue(1, 2, nullptr, 5); }},
        {"C_DigestKey", 0x54, "Not support C_DigestKey", [](auto p) { return p->C_DigestKey(1, 2); }},
        {"C_SignRecoverInit", 0x54, "Not support C_SignRecoverInit",
         [](auto p) { return p->C_SignRecoverInit(1, &mech, 2); }},
        {"C_SignRecover", 0x54, "Not support C_SignRecover",
         [](auto p) { return p->C_SignRecover(1, by, ul, by, &ul); }},
        {"C_VerifyUpdate", 0x54, kVerifyParts, [](auto p) { return p->C_VerifyUpdate(1, by, ul); }},
        {"C_VerifyFinal", 0x54, kVerifyParts, [](auto p) { return p->C_VerifyFinal(1, nullptr, 0); }},
        {"C_VerifyRecoverInit", 0x54, "Not support C_VerifyRecoverInit",
         [](auto p) { return p->C_VerifyRecoverInit(1, nullptr, 2); }},
        {"C_VerifyRecover", 0x54, "Not support C_VerifyRecover",
         [](auto p) { return p->C_VerifyRecover(1, by, ul, nullptr, nullptr); }},
        {"C_DigestEncryptUpdate", 0x54, "Not support C_DigestEncryptUpdate",
         [](auto p) { return p->C_DigestEncryptUpdate(1, by, ul, by, &ul); }},
        {"C_DecryptDigestUpdate", 0x54, "Not support C_DecryptDigestUpdate",
         [](auto p) { return p->C_DecryptDigestUpdate(1, by, ul, by, &ul); }},
        {"C_SignEncryptUpdate", 0x54, "Not support C_SignEncryptUpdate",
         [](auto p) { return p->C_SignEncryptUpdate(1, by, ul, by, &ul); }},
        {"C_DecryptVerifyUpdate", 0x54, "Not support C_DecryptVerifyUpdate",
         [](auto p) { return p->C_DecryptVerifyUpdate(1, by, ul, by, &ul); }},
        {"C_GenerateKey", 0x54, "Not support C_GenerateKey",
         [](auto p) { return p->C_GenerateKey(1, &mech, nullptr, 0, &hObj); }},
        {"C_WrapKey", 0x54, "Not support C_WrapKey",
         [](auto p) { return p->C_WrapKey(1, &mech, 2, 3, by, &ul); }},
        {"C_DeriveKey", 0x54, "Not support C_DeriveKey",
         [](auto p) { return p->C_DeriveKey(1, &mech, 2, nullptr, 0, &hObj); }},
        {"C_GetFunctionStatus", 0x54, "Not support C_GetFunctionStatus",
         [](auto p) { return p->C_GetFunctionStatus(1); }},
        {"C_CancelFunction", 0x54, "Not support C_CancelFunction", [](auto p) { return p->C_CancelFunction(0); }},
        {"C_SetPIN", 0x54, "Not support set pin, please use cert manager",
         [](auto p) { return p->C_SetPIN(1, by, 6, by, 6); }},
        {"C_InitPIN", 0x6, "Don't support C_InitPIN, because have no SO user only custom user",
         [](auto p) { return p->C_InitPIN(1, by, 6); }},
        {"C_WaitForSlotEvent", 0x6, "Software pkcs#11 library token always be present, no slot event",
         [](auto p) { return p->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr); }},
    };
    return list;
}

class UnsupportedTest : public ModuleFixture {
protected:
    void TearDown() override
    {
        ModuleFixture::TearDown();
        unsetenv("ZLOG_CONF_PATH");
    }
};

TEST_F(UnsupportedTest, RefusedFunctionsAnswerTheirCodeAtAnyTime)
{
    ASSERT_EQ(RefusedFunctions().size(), 24u);
    for (const char* pszPhase : {"before C_Initialize", "initialised", "after C_Finalize"}) {
        SCOPED_TRACE(pszPhase);
        for (const Refused& r : RefusedFunctions()) {
            EXPECT_EQ(r.call(p11), r.rv) << r.pszName;
        }
        if (std::string(pszPhase) == "before C_Initialize") {
            ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
        } else if (std::string(pszPhase) == "initialised") {
            ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
        }
    }
}

// With the module's own configuration path absent, ZLOG_CONF_PATH decides
// where the module traces to.
TEST_F(UnsupportedTest, TraceLinesNameTheFunctionTheReasonAndTheCode)
{
    if (access("/tmp/Pkcs11DylibLog.conf", F_OK) == 0) {
        GTEST_SKIP() << "/tmp/Pkcs11DylibLog.conf exists and would take precedence";
    }
    const std::string strLog = m_home.Path() + "/module.log";
    const std::string strConf = m_home.Path() + "/module.conf";
    std::ofstream(strConf) << "log4cplus.logger.qyra_category=TRACE, F\n"
                              "log4cplus.appender.F=log4cplus::FileAppender\n"
                              "log4cplus.appender.F.File=" << strLog << "\n"
                              "log4cplus.appender.F.layout=log4cplus::PatternLayout\n"
                              "log4cplus.appender.F.layout.ConversionPattern=%p|%m%n\n";
    ASSERT_EQ(chmod(strConf.c_str(), 0600), 0);
    setenv("ZLOG_CONF_PATH", strConf.c_str(), 1);

    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    std::string strExpected;
    for (const Refused& r : RefusedFunctions()) {
        EXPECT_EQ(r.call(p11), r.rv) << r.pszName;
        char szLine[512];
        snprintf(szLine, sizeof(szLine), "ERROR|%s - %s (Error code: 0x%08lX)\n", r.pszName, r.pszMessage, r.rv);
        strExpected += szLine;
    }
    EXPECT_EQ(p11->C_GetInfo(nullptr), CKR_ARGUMENTS_BAD);
    strExpected += "ERROR|C_GetInfo - Check pInfo (Error code: 0x00000007)\n";
    CK_INFO info;
    EXPECT_EQ(p11->C_GetInfo(&info), CKR_OK);
    strExpected += "INFO|C_GetInfo - Check pInfo SUCCESS\n";
    ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);

    std::ifstream in(strLog);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string strLogged = ss.str();
    EXPECT_NE(strLogged.find("INFO|C_Initialize - TokenInitialize SUCCESS\n"), std::string::npos) << strLogged;
    EXPECT_NE(strLogged.find("INFO|C_Initialize - InitializeGlobalData SUCCESS\n"), std::string::npos);
    size_t nStart = strLogged.find("ERROR|C_GetOperationState");
    ASSERT_NE(nStart, std::string::npos) << strLogged;
    EXPECT_EQ(strLogged.substr(nStart, strExpected.size()), strExpected);
}

}  // namespace
