// The pinentry program as a child process: found, started with its stdin
// and stdout on a socket, and always reaped.
#pragma once

#include <string>

#include <sys/types.h>

// PINVEIL_PINENTRY if set, else "pinentry"; a name without a slash is
// looked up on PATH. Empty when nothing executable is found.
std::string FindPinentryProgram();

class PinentryProcess {
public:
    PinentryProcess() = default;
    PinentryProcess(const PinentryProcess&) = delete;
    PinentryProcess& operator=(const PinentryProcess&) = delete;
    virtual ~PinentryProcess();

    // Starts the program; returns our end of the connection (close-on-exec)
    // or -1.
    int Start(const std::string& strProgram);
    // Waits for the child to end, after a hang-up from our side. bHurry asks
    // it to stop at once; one that does not end in time is killed.
    void Stop(bool bHurry);

private:
    pid_t m_pid = -1;
};
