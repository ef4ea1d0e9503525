// The trace facade over log4cplus.
//
// All state lives in a private Hierarchy, so a host program that uses
// log4cplus itself keeps its own configuration: the facade neither reads
// nor changes the default hierarchy. The Hierarchy and the logger are held
// by plain pointers on purpose: they are released by qyra_zlog_fini only,
// never by a static destructor that could run after log4cplus has gone.
#include "core/trace/QyraLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <string>

#include <log4cplus/configurator.h>
#include <log4cplus/helpers/property.h>
#include <log4cplus/hierarchy.h>
#include <log4cplus/logger.h>

#include "core/trace/TraceConfigFile.h"
#include "core/trace/TraceHexDump.h"
#include "core/trace/TraceLevel.h"

namespace {
const char* const kDefaultConfigPath = "/usr/lib/qyralog.conf";
const char* const kConfigPathVariable = "ZLOG_CONF_PATH";
const char* const kCategoryName = "qyra_category";
const char* const kRecordFile = "qyra_zlog";
constexpr size_t kInitialMessageSize = 4096;

std::mutex g_mtxTrace;
log4cplus::Hierarchy* g_pHierarchy = nullptr;
log4cplus::Logger* g_pCategory = nullptr;

// Picks the configuration: the given file if it is usable, else the one
// named by ZLOG_CONF_PATH.
int LoadConfig(const char* pszPath, std::string& strConfig)
{
    TraceConfigStatus status = LoadTraceConfigFile(pszPath, strConfig);
    if (status == TraceConfigStatus::Absent) {
        // secure_getenv: a set-user-ID host never lets its caller choose.
        const char* pszEnvPath = secure_getenv(kConfigPathVariable);
        if (pszEnvPath == nullptr || pszEnvPath[0] == '\0') {
            return QYRA_LOG_E_NO_CONFIG;
        }
        status = LoadTraceConfigFile(pszEnvPath, strConfig);
    }
    switch (status) {
    case TraceConfigStatus::Loaded: return QYRA_LOG_OK;
    case TraceConfigStatus::Absent: return QYRA_LOG_E_NO_CONFIG;
    case TraceConfigStatus::Unreadable: break;
    }
    return QYRA_LOG_E_INIT;
}

int InitLocked(const char* pszPath)
{
    if (g_pCategory != nullptr) {
        return QYRA_LOG_OK;
    }
    std::string strConfig;
    int nResult = LoadConfig(pszPath != nullptr ? pszPath : kDefaultConfigPath, strConfig);
    if (nResult != QYRA_LOG_OK) {
        return nResult;
    }

    // The file may name NOTICE, so the level must be known before reading.
    RegisterNoticeLogLevel();

    auto pHierarchy = std::make_unique<log4cplus::Hierarchy>();
    std::istringstream input(strConfig);
    log4cplus::helpers::Properties properties(input);
    log4cplus::PropertyConfigurator configurator(properties, *pHierarchy);
    configurator.configure();

    // getInstance would create the logger, so ask first whether the file
    // defined it.
    if (!pHierarchy->exists(kCategoryName)) {
        pHierarchy->shutdown();
        return QYRA_LOG_E_INIT;
    }
    auto pCategory = std::make_unique<log4cplus::Logger>(pHierarchy->getInstance(kCategoryName));
    g_pHierarchy = pHierarchy.release();
    g_pCategory = pCategory.release();
    return QYRA_LOG_OK;
}

void FiniLocked()
{
    delete g_pCategory;
    g_pCategory = nullptr;
    if (g_pHierarchy != nullptr) {
        g_pHierarchy->shutdown();
        delete g_pHierarchy;
        g_pHierarchy = nullptr;
    }
}

// Formats into a heap buffer that grows until the message fits. Every
// attempt works on its own copy of the argument list.
int FormatMessage(const char* pszFormat, va_list args, std::unique_ptr<char[]>& pszMessage,
                  size_t& nLength)
{
    if (pszFormat == nullptr) {
        return QYRA_LOG_E_NOMEM;
    }
    size_t nSize = kInitialMessageSize;
    pszMessage.reset(new (std::nothrow) char[nSize]);
    if (!pszMessage) {
        return QYRA_LOG_E_NOMEM;
    }
    for (;;) {
        va_list attempt;
        va_copy(attempt, args);
        int nWritten = vsnprintf(pszMessage.get(), nSize, pszFormat, attempt);
        va_end(attempt);
        if (nWritten < 0) {
            // The formatter refused (an unconvertible wide string, say): a
            // larger buffer would not change that.
            pszMessage.reset();
            return QYRA_LOG_E_NOMEM;
        }
        if (static_cast<size_t>(nWritten) < nSize) {
            nLength = static_cast<size_t>(nWritten);
            return QYRA_LOG_OK;
        }
        while (nSize <= static_cast<size_t>(nWritten)) {
            nSize *= 2;
        }
        pszMessage.reset(new (std::nothrow) char[nSize]);
        if (!pszMessage) {
            return QYRA_LOG_E_NOMEM;
        }
    }
}
}  // namespace

extern "C" {

int qyra_zlog_init(void)
{
    return qyra_zlog_init_with_config_name(nullptr);
}

int qyra_zlog_init_with_config_name(const char* pszConfigPath)
{
    std::lock_guard<std::mutex> lock(g_mtxTrace);
    try {
        return InitLocked(pszConfigPath);
    } catch (...) {
        return QYRA_LOG_E_INIT;
    }
}

int qyra_zlog_fini(void)
{
    std::lock_guard<std::mutex> lock(g_mtxTrace);
    try {
        FiniLocked();
    } catch (...) {
        g_pCategory = nullptr;
        g_pHierarchy = nullptr;
    }
    return QYRA_LOG_OK;
}

int TRACE(int nLevel, const char* pszFormat, ...)
{
    std::lock_guard<std::mutex> lock(g_mtxTrace);
    if (g_pCategory == nullptr) {
        return QYRA_LOG_E_NOT_INIT;
    }
    log4cplus::LogLevel ll = MapTraceLevel(nLevel);
    if (ll == log4cplus::NOT_SET_LOG_LEVEL) {
        return QYRA_LOG_E_LEVEL;
    }
    try {
        if (!g_pCategory->isEnabledFor(ll)) {
            return QYRA_LOG_OK;
        }
        std::unique_ptr<char[]> pszMessage;
        size_t nLength = 0;
        va_list args;
        va_start(args, pszFormat);
        int nResult = FormatMessage(pszFormat, args, pszMessage, nLength);
        va_end(args);
        if (nResult != QYRA_LOG_OK) {
            return nResult;
        }
        // Handed over as data: a "%" in the text is not read as a format.
        g_pCategory->forcedLog(ll, std::string(pszMessage.get(), nLength), kRecordFile,
                               TraceRecordLine(nLevel), "TRACE");
        return QYRA_LOG_OK;
    } catch (...) {
        return QYRA_LOG_E_NOMEM;
    }
}

int TRACE_BINARY(int nLevel, const void* pbyData, size_t nLength)
{
    std::lock_guard<std::mutex> lock(g_mtxTrace);
    if (g_pCategory == nullptr) {
        return QYRA_LOG_OK;
    }
    log4cplus::LogLevel ll = MapTraceLevel(nLevel);
    if (ll == log4cplus::NOT_SET_LOG_LEVEL) {
        return QYRA_LOG_E_LEVEL;
    }
    try {
        if (!g_pCategory->isEnabledFor(ll)) {
            return QYRA_LOG_OK;
        }
        if (pbyData == nullptr) {
            nLength = 0;
        }
        g_pCategory->forcedLog(ll, FormatHexDump(static_cast<const unsigned char*>(pbyData), nLength),
                               kRecordFile, TraceRecordLine(nLevel), "TRACE_BINARY");
        return QYRA_LOG_OK;
    } catch (...) {
        return QYRA_LOG_E_NOMEM;
    }
}

}  // extern "C"
