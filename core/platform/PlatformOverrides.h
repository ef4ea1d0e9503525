// Test seam: lets a test run as another home, data folder, account or
// machine without touching the real ones.  Only code linked against the
// core directly can reach it; the module exports nothing but its C_
// functions, so a host program cannot.
#pragma once

#include <optional>
#include <string>

// Each value that is set replaces what the system would report.
struct _platformOverrides {
    std::optional<std::string> strHomeDirectory;
    std::optional<std::string> strDataDirectory;
    std::optional<std::string> strLoginName;
    std::optional<std::string> strFullUserName;
    std::optional<std::string> strPlatformUUID;
    std::optional<std::string> strSerialNumber;
};

void SetPlatformOverrides(const _platformOverrides& stOverrides);
void ResetPlatformOverrides();
