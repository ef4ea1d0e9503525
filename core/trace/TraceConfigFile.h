// Loading of the trace configuration file.
//
// The file decides where trace lines go (files, sockets, syslog), so only a
// file that nobody but its reader or root could have planted or changed is
// accepted: a regular file, not a symbolic link, owned by the effective user
// or by root, and writable by neither group nor others. Anything else counts
// as no file at all.
#pragma once

#include <string>

enum class TraceConfigStatus {
    Absent,      // missing or not acceptable
    Loaded,      // strContent holds the whole file
    Unreadable,  // acceptable, but it could not be read whole
};

TraceConfigStatus LoadTraceConfigFile(const char* pszPath, std::string& strContent);
