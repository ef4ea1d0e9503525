// Placeholder facade: silent until the log4cplus back end is in place.
#include "core/trace/QyraLog.h"

extern "C" {
int qyra_zlog_init(void) { return QYRA_LOG_E_NO_CONFIG; }
int qyra_zlog_init_with_config_name(const char*) { return QYRA_LOG_E_NO_CONFIG; }
int qyra_zlog_fini(void) { return 0; }
int TRACE(int, const char*, ...) { return QYRA_LOG_E_NOT_INIT; }
int TRACE_BINARY(int, const void*, size_t) { return 0; }
}
