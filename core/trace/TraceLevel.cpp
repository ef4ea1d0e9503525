#include "core/trace/TraceLevel.h"

#include <mutex>

#include <log4cplus/tstring.h>

#include "core/trace/QyraLog.h"

namespace {
// log4cplus keeps references to these for the life of the process; the
// module is therefore never unloaded (linked with -z nodelete).
const log4cplus::tstring& NoticeToString(log4cplus::LogLevel ll)
{
    static const log4cplus::tstring strNotice(LOG4CPLUS_TEXT("NOTICE"));
    static const log4cplus::tstring strEmpty;
    return ll == QYRA_NOTICE_LOG_LEVEL ? strNotice : strEmpty;
}

log4cplus::LogLevel NoticeFromString(const log4cplus::tstring& str)
{
    return str == LOG4CPLUS_TEXT("NOTICE") ? QYRA_NOTICE_LOG_LEVEL : log4cplus::NOT_SET_LOG_LEVEL;
}
}  // namespace

void RegisterNoticeLogLevel()
{
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        log4cplus::LogLevelManager& manager = log4cplus::getLogLevelManager();
        manager.pushToStringMethod(NoticeToString);
        manager.pushFromStringMethod(NoticeFromString);
    });
}

log4cplus::LogLevel MapTraceLevel(int nLevel)
{
    switch (nLevel) {
    case QYRA_LOG_ERROR: return log4cplus::ERROR_LOG_LEVEL;
    case QYRA_LOG_WARN: return log4cplus::WARN_LOG_LEVEL;
    case QYRA_LOG_INFO: return log4cplus::INFO_LOG_LEVEL;
    case QYRA_LOG_NOTICE: return QYRA_NOTICE_LOG_LEVEL;
    default: return log4cplus::NOT_SET_LOG_LEVEL;
    }
}

int TraceRecordLine(int nLevel)
{
    return 100 + nLevel;
}
