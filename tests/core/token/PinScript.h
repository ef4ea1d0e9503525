// A scripted PIN prompt: this test program's GetUserPIN_callback answers
// from a queue of steps and records every call.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct PromptStep {
    int nResult = 0;            // what the callback returns
    const char* pszPIN = nullptr;  // handed out (malloc'd copy) when set
    bool bGarbagePointer = false;  // store a bogus pointer with a non-zero result
    std::function<void()> fnBefore;  // runs inside the prompt, e.g. another process's change
};

struct PromptCall {
    int nMode;
    int nLeft;
    int nMin;
    int nMax;
    bool bOutWasNull;
};

namespace PinScript {
void Set(std::vector<PromptStep> vtrSteps);
const std::vector<PromptCall>& Calls();
// Steps not yet used.
size_t Remaining();
}  // namespace PinScript

inline PromptStep Answer(const char* pszPIN) { PromptStep s; s.pszPIN = pszPIN; return s; }
inline PromptStep Cancel() { PromptStep s; s.nResult = -1; return s; }
