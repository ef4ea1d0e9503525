// The trace facade: five C-linkage functions over the logging library.
// Every layer reports its steps through TRACE; no caller looks at the result.
#pragma once

#include <cstddef>

// Trace levels.
#define QYRA_LOG_ERROR  1
#define QYRA_LOG_WARN   2
#define QYRA_LOG_INFO   3
#define QYRA_LOG_NOTICE 4

// Facade result codes.
#define QYRA_LOG_OK             0
#define QYRA_LOG_E_INIT         0x6002
#define QYRA_LOG_E_NOMEM        0x6004
#define QYRA_LOG_E_LEVEL        0x6005
#define QYRA_LOG_E_NOT_INIT     0x6006
#define QYRA_LOG_E_NO_CONFIG    0x6007

extern "C" {
int qyra_zlog_init(void);
int qyra_zlog_init_with_config_name(const char* pszConfigPath);
int qyra_zlog_fini(void);
int TRACE(int nLevel, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
int TRACE_BINARY(int nLevel, const void* pbyData, size_t nLength);
}
