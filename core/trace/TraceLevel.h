// Trace levels 1..4 and the log4cplus levels they are written at.
#pragma once

#include <log4cplus/loglevel.h>

// Notices rank between warnings and information, as in the level order
// ERROR > WARN > NOTICE > INFO that trace configurations are written for.
constexpr log4cplus::LogLevel QYRA_NOTICE_LOG_LEVEL = 25000;

// Makes "NOTICE" known to log4cplus, so a configuration file may name it.
// Registered once per process; later calls do nothing.
void RegisterNoticeLogLevel();

// The log4cplus level of a trace level, or NOT_SET_LOG_LEVEL outside 1..4.
log4cplus::LogLevel MapTraceLevel(int nLevel);

// The fixed source line a record of this trace level carries (1..4).
int TraceRecordLine(int nLevel);
