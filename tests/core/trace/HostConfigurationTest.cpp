// A host program that uses log4cplus itself keeps its own configuration
// while the facade is initialised and after it is shut down.
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <log4cplus/appender.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <log4cplus/spi/loggingevent.h>

#include "core/trace/QyraLog.h"
#include "support/TempHome.h"

namespace {

class CaptureAppender : public log4cplus::Appender {
public:
    ~CaptureAppender() override { destructorImpl(); }
    void close() override {}
    std::vector<std::string> m_vtrMessages;

protected:
    void append(const log4cplus::spi::InternalLoggingEvent& event) override
    {
        m_vtrMessages.push_back(event.getMessage());
    }
};

std::string ReadAll(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(TraceHostTest, HostRootLoggerKeepsItsConfigurationAcrossInitAndFini)
{
    log4cplus::Initializer initializer;
    TempHome home;
    home.Enter();

    log4cplus::Logger root = log4cplus::Logger::getRoot();
    auto* pCapture = new CaptureAppender;
    log4cplus::SharedAppenderPtr capture(pCapture);
    root.setLogLevel(log4cplus::WARN_LOG_LEVEL);
    root.addAppender(capture);
    log4cplus::Logger hostCategory = log4cplus::Logger::getInstance("qyra_category");

    // The facade's file configures a root logger and the category of its
    // own, both of which must stay in the facade's private world.
    const std::string strLog = home.Path() + "/trace.log";
    const std::string strConf = home.Path() + "/trace.conf";
    std::ofstream(strConf) << "log4cplus.rootLogger=TRACE, F\n"
                              "log4cplus.logger.qyra_category=TRACE\n"
                              "log4cplus.appender.F=log4cplus::FileAppender\n"
                              "log4cplus.appender.F.File=" << strLog << "\n"
                              "log4cplus.appender.F.layout=log4cplus::PatternLayout\n"
                              "log4cplus.appender.F.layout.ConversionPattern=%m%n\n";
    ASSERT_EQ(chmod(strConf.c_str(), 0600), 0);

    ASSERT_EQ(qyra_zlog_init_with_config_name(strConf.c_str()), QYRA_LOG_OK);
    EXPECT_EQ(root.getLogLevel(), log4cplus::WARN_LOG_LEVEL);
    EXPECT_EQ(root.getAllAppenders().size(), 1u);
    EXPECT_EQ(hostCategory.getLogLevel(), log4cplus::NOT_SET_LOG_LEVEL);
    LOG4CPLUS_WARN(root, "host while traced");
    LOG4CPLUS_INFO(root, "host below its threshold");
    EXPECT_EQ(TRACE(QYRA_LOG_INFO, "facade line"), QYRA_LOG_OK);

    EXPECT_EQ(qyra_zlog_fini(), QYRA_LOG_OK);
    EXPECT_EQ(root.getLogLevel(), log4cplus::WARN_LOG_LEVEL);
    ASSERT_EQ(root.getAllAppenders().size(), 1u);
    EXPECT_EQ(root.getAllAppenders()[0].get(), pCapture);
    LOG4CPLUS_ERROR(root, "host after fini");

    EXPECT_EQ(pCapture->m_vtrMessages,
              (std::vector<std::string>{"host while traced", "host after fini"}));
    EXPECT_EQ(ReadAll(strLog), "facade line\n");

    root.removeAllAppenders();
    home.Leave();
}

}  // namespace
