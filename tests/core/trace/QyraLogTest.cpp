#include "core/trace/QyraLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempHome.h"

namespace {

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_home.Enter();
        unsetenv("ZLOG_CONF_PATH");
    }
    void TearDown() override
    {
        qyra_zlog_fini();
        unsetenv("ZLOG_CONF_PATH");
        m_home.Leave();
    }

    std::string PathOf(const std::string& strName) const { return m_home.Path() + "/" + strName; }

    // A configuration that writes qyra_category at the given threshold to
    // strLog, one record per line: level|file|line|function|message.
    std::string CategoryConfig(const std::string& strLog, const std::string& strLevel = "TRACE") const
    {
        return "log4cplus.logger.qyra_category=" + strLevel + ", F\n"
               "log4cplus.appender.F=log4cplus::FileAppender\n"
               "log4cplus.appender.F.File=" + strLog + "\n"
               "log4cplus.appender.F.layout=log4cplus::PatternLayout\n"
               "log4cplus.appender.F.layout.ConversionPattern=%p|%F|%L|%M|%m%n\n";
    }

    std::string WriteFile(const std::string& strName, const std::string& strContent, mode_t mode = 0600)
    {
        std::string strPath = PathOf(strName);
        std::ofstream(strPath, std::ios::binary) << strContent;
        EXPECT_EQ(chmod(strPath.c_str(), mode), 0);
        return strPath;
    }

    // A good configuration file logging to strLogName.
    std::string WriteConfig(const std::string& strName, const std::string& strLogName,
                            const std::string& strLevel = "TRACE")
    {
        return WriteFile(strName, CategoryConfig(PathOf(strLogName), strLevel));
    }

    std::string ReadLog(const std::string& strLogName) const
    {
        std::ifstream in(PathOf(strLogName), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    bool Exists(const std::string& strName) const { return access(PathOf(strName).c_str(), F_OK) == 0; }

    TempHome m_home;
};

TEST_F(TraceTest, UnusableConfigurationMeansNoConfigurationAndSilence)
{
    struct Case {
        const char* pszWhat;
        std::function<std::string()> makePath;  // the path given to init
        const char* pszEnv;                     // ZLOG_CONF_PATH, null: unset
        bool bNeedsRoot;
    };
    const std::vector<Case> cases = {
        {"missing file, no variable", [&] { return PathOf("missing.conf"); }, nullptr, false},
        {"missing file, empty variable", [&] { return PathOf("missing.conf"); }, "", false},
        {"missing file, variable names a missing file", [&] { return PathOf("missing.conf"); },
         "/nonexistent/qyra.conf", false},
        {"group-writable",
         [&] { return WriteFile("g.conf", CategoryConfig(PathOf("out.log")), 0620); }, nullptr, false},
        {"other-writable",
         [&] { return WriteFile("o.conf", CategoryConfig(PathOf("out.log")), 0602); }, nullptr, false},
        {"symbolic link to a good file",
         [&] {
             std::string strTarget = WriteConfig("real.conf", "out.log");
             std::string strLink = PathOf("link.conf");
             EXPECT_EQ(symlink(strTarget.c_str(), strLink.c_str()), 0);
             return strLink;
         },
         nullptr, false},
        {"directory",
         [&] {
             std::string strDir = PathOf("dir.conf");
             EXPECT_EQ(mkdir(strDir.c_str(), 0700), 0);
             return strDir;
         },
         nullptr, false},
        {"named pipe",
         [&] {
             std::string strFifo = PathOf("fifo.conf");
             EXPECT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
             return strFifo;
         },
         nullptr, false},
        {"owned by another user",
         [&] {
             std::string strPath = WriteConfig("nobody.conf", "out.log");
             EXPECT_EQ(chown(strPath.c_str(), 65534, 65534), 0);
             return strPath;
         },
         nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        if (c.bNeedsRoot && geteuid() != 0) {
            continue;  // only root can give a file away
        }
        std::string strPath = c.makePath();
        if (c.pszEnv != nullptr) setenv("ZLOG_CONF_PATH", c.pszEnv, 1); else unsetenv("ZLOG_CONF_PATH");
        EXPECT_EQ(qyra_zlog_init_with_config_name(strPath.c_str()), QYRA_LOG_E_NO_CONFIG);
        EXPECT_EQ(TRACE(QYRA_LOG_ERROR, "%s", "must not appear"), QYRA_LOG_E_NOT_INIT);
        EXPECT_EQ(TRACE_BINARY(QYRA_LOG_ERROR, "x", 1), QYRA_LOG_OK);
        EXPECT_FALSE(Exists("out.log"));
        qyra_zlog_fini();
    }
}

TEST_F(TraceTest, VariableIsTheFallbackForAnUnusableGivenFile)
{
    std::string strRejected = WriteFile("g.conf", CategoryConfig(PathOf("wrong.log")), 0660);
    setenv("ZLOG_CONF_PATH", WriteConfig("env.conf", "env.log").c_str(), 1);
    ASSERT_EQ(qyra_zlog_init_with_config_name(strRejected.c_str()), QYRA_LOG_OK);
    EXPECT_EQ(TRACE(QYRA_LOG_INFO, "via %s", "variable"), QYRA_LOG_OK);
    qyra_zlog_fini();
    EXPECT_EQ(ReadLog("env.log"), "INFO|qyra_zlog|103|TRACE|via variable\n");
    EXPECT_FALSE(Exists("wrong.log"));
}

TEST_F(TraceTest, DefaultPathFallsBackToVariable)
{
    if (access("/usr/lib/qyralog.conf", F_OK) == 0) {
        GTEST_SKIP() << "this machine has its own /usr/lib/qyralog.conf";
    }
    setenv("ZLOG_CONF_PATH", WriteConfig("env.conf", "env.log").c_str(), 1);
    ASSERT_EQ(qyra_zlog_init(), QYRA_LOG_OK);
    EXPECT_EQ(TRACE(QYRA_LOG_ERROR, "up"), QYRA_LOG_OK);
    qyra_zlog_fini();
    EXPECT_EQ(ReadLog("env.log"), "ERROR|qyra_zlog|101|TRACE|up\n");
}

TEST_F(TraceTest, ConfigurationWithoutTheCategoryIsRefused)
{
    const std::string strAppender =
        "log4cplus.appender.F=log4cplus::FileAppender\n"
        "log4cplus.appender.F.File=" + PathOf("out.log") + "\n";
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"root logger only", "log4cplus.rootLogger=TRACE, F\n" + strAppender},
        {"a child of the category only", "log4cplus.logger.qyra_category.child=TRACE, F\n" + strAppender},
        {"empty file", ""},
        {"not a configuration at all", std::string("\x01\x02 garbage = = =\n", 17)},
    };
    for (const auto& [pszWhat, strContent] : cases) {
        SCOPED_TRACE(pszWhat);
        std::string strPath = WriteFile("c.conf", strContent);
        EXPECT_EQ(qyra_zlog_init_with_config_name(strPath.c_str()), QYRA_LOG_E_INIT);
        EXPECT_EQ(TRACE(QYRA_LOG_ERROR, "nothing"), QYRA_LOG_E_NOT_INIT);
        EXPECT_EQ(ReadLog("out.log"), "");
        qyra_zlog_fini();
    }
}

TEST_F(TraceTest, LevelsMapAndRecordsCarryTheFacadeLocation)
{
    ASSERT_EQ(qyra_zlog_init_with_config_name(WriteConfig("t.conf", "out.log").c_str()), QYRA_LOG_OK);
    for (int nLevel = 1; nLevel <= 4; ++nLevel) {
        EXPECT_EQ(TRACE(nLevel, "level %d", nLevel), QYRA_LOG_OK);
    }
    for (int nLevel : {0, 5, -1, 100}) {
        EXPECT_EQ(TRACE(nLevel, "bad level %d", nLevel), QYRA_LOG_E_LEVEL);
        EXPECT_EQ(TRACE_BINARY(nLevel, "x", 1), QYRA_LOG_E_LEVEL);
    }
    qyra_zlog_fini();
    EXPECT_EQ(ReadLog("out.log"),
              "ERROR|qyra_zlog|101|TRACE|level 1\n"
              "WARN|qyra_zlog|102|TRACE|level 2\n"
              "INFO|qyra_zlog|103|TRACE|level 3\n"
              "NOTICE|qyra_zlog|104|TRACE|level 4\n");
}

TEST_F(TraceTest, NoticeRanksBetweenWarningAndInformation)
{
    ASSERT_EQ(qyra_zlog_init_with_config_name(WriteConfig("t.conf", "out.log", "NOTICE").c_str()),
              QYRA_LOG_OK);
    for (int nLevel = 1; nLevel <= 4; ++nLevel) {
        EXPECT_EQ(TRACE(nLevel, "level %d", nLevel), QYRA_LOG_OK);
    }
    qyra_zlog_fini();
    EXPECT_EQ(ReadLog("out.log"),
              "ERROR|qyra_zlog|101|TRACE|level 1\n"
              "WARN|qyra_zlog|102|TRACE|level 2\n"
              "NOTICE|qyra_zlog|104|TRACE|level 4\n");
}

TEST_F(TraceTest, MessagesOfAnyLengthAreLoggedWholeAndVerbatim)
{
    ASSERT_EQ(qyra_zlog_init_with_config_name(WriteConfig("t.conf", "out.log").c_str()), QYRA_LOG_OK);
    std::string strExpected;
    for (size_t nLength : {size_t(4095), size_t(4096), size_t(4097), size_t(8192), size_t(100000)}) {
        std::string strMessage(nLength, 'x');
        strMessage.back() = 'E';
        EXPECT_EQ(TRACE(QYRA_LOG_INFO, "%s", strMessage.c_str()), QYRA_LOG_OK);
        strExpected += "INFO|qyra_zlog|103|TRACE|" + strMessage + "\n";
    }
    // Text that looks like a format after formatting stays as it is.
    EXPECT_EQ(TRACE(QYRA_LOG_INFO, "subject %s", "CN=100% %s %n %d%%"), QYRA_LOG_OK);
    strExpected += "INFO|qyra_zlog|103|TRACE|subject CN=100% %s %n %d%%\n";
    EXPECT_EQ(TRACE(QYRA_LOG_INFO, "rate 50%%"), QYRA_LOG_OK);
    strExpected += "INFO|qyra_zlog|103|TRACE|rate 50%\n";
    qyra_zlog_fini();
    EXPECT_EQ(ReadLog("out.log"), strExpected);
}

TEST_F(TraceTest, FormatterErrorGivesUpWithoutOutput)
{
    ASSERT_EQ(qyra_zlog_init_with_config_name(WriteConfig("t.conf", "out.log").c_str()), QYRA_LOG_OK);
    // In the C locale a wide character above 0x7F cannot be converted.
    const wchar_t wszBad[] = {0x100, 0};
    EXPECT_EQ(TRACE(QYRA_LOG_ERROR, "%ls", wszBad), QYRA_LOG_E_NOMEM);
    EXPECT_EQ(TRACE(QYRA_LOG_ERROR, "after"), QYRA_LOG_OK);
    qyra_zlog_fini();
    EXPECT_EQ(ReadLog("out.log"), "ERROR|qyra_zlog|101|TRACE|after\n");
}

TEST_F(TraceTest, SecondInitKeepsTheFirstConfiguration)
{
    ASSERT_EQ(qyra_zlog_init_with_config_name(WriteConfig("a.conf", "a.log").c_str()), QYRA_LOG_OK);
    EXPECT_EQ(qyra_zlog_init_with_config_name(WriteConfig("b.conf", "b.log").c_str()), QYRA_LOG_OK);
    EXPECT_EQ(TRACE(QYRA_LOG_WARN, "one"), QYRA_LOG_OK);
    qyra_zlog_fini();
    EXPECT_EQ(ReadLog("a.log"), "WARN|qyra_zlog|102|TRACE|one\n");
    EXPECT_FALSE(Exists("b.log"));
}

TEST_F(TraceTest, FiniStopsTracingAndALaterInitStartsAfresh)
{
    ASSERT_EQ(qyra_zlog_init_with_config_name(WriteConfig("a.conf", "a.log").c_str()), QYRA_LOG_OK);
    EXPECT_EQ(TRACE(QYRA_LOG_WARN, "first"), QYRA_LOG_OK);
    EXPECT_EQ(qyra_zlog_fini(), QYRA_LOG_OK);
    EXPECT_EQ(TRACE(QYRA_LOG_WARN, "between"), QYRA_LOG_E_NOT_INIT);
    EXPECT_EQ(qyra_zlog_fini(), QYRA_LOG_OK);
    ASSERT_EQ(qyra_zlog_init_with_config_name(WriteConfig("b.conf", "b.log", "ERROR").c_str()),
              QYRA_LOG_OK);
    EXPECT_EQ(TRACE(QYRA_LOG_WARN, "filtered"), QYRA_LOG_OK);
    EXPECT_EQ(TRACE(QYRA_LOG_ERROR, "second"), QYRA_LOG_OK);
    qyra_zlog_fini();
    EXPECT_EQ(ReadLog("a.log"), "WARN|qyra_zlog|102|TRACE|first\n");
    EXPECT_EQ(ReadLog("b.log"), "ERROR|qyra_zlog|101|TRACE|second\n");
}

TEST_F(TraceTest, BinaryTraceWritesAHexDump)
{
    ASSERT_EQ(qyra_zlog_init_with_config_name(WriteConfig("t.conf", "out.log").c_str()), QYRA_LOG_OK);
    std::vector<unsigned char> data = {0x00, 0x41, 0x7F, 0xFF, 'h', 'i', 0x0A, 0x20,
                                       0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xAB};
    EXPECT_EQ(TRACE_BINARY(QYRA_LOG_NOTICE, data.data(), data.size()), QYRA_LOG_OK);
    EXPECT_EQ(TRACE_BINARY(QYRA_LOG_INFO, nullptr, 0), QYRA_LOG_OK);
    qyra_zlog_fini();
    EXPECT_EQ(ReadLog("out.log"),
              "NOTICE|qyra_zlog|104|TRACE_BINARY|hex_buf_len=[17]\n"
              "00000000  00 41 7F FF 68 69 0A 20 01 02 03 04 05 06 07 08  .A..hi. ........\n"
              "00000010  AB                                               .\n"
              "INFO|qyra_zlog|103|TRACE_BINARY|hex_buf_len=[0]\n");
}

}  // namespace
