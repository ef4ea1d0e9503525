#include "PinScript.h"

#include <cstdlib>
#include <cstring>
#include <deque>

#include <gtest/gtest.h>

#include "core/token/PinCallback.h"

namespace {
std::deque<PromptStep> g_steps;
std::vector<PromptCall> g_calls;
}  // namespace

void PinScript::Set(std::vector<PromptStep> vtrSteps)
{
    g_steps.assign(vtrSteps.begin(), vtrSteps.end());
    g_calls.clear();
}

const std::vector<PromptCall>& PinScript::Calls() { return g_calls; }

size_t PinScript::Remaining() { return g_steps.size(); }

extern "C" int GetUserPIN_callback(int initState, int leftTimes, int minPINSize, int maxPINSize,
                                   char** ppszPIN)
{
    g_calls.push_back({initState, leftTimes, minPINSize, maxPINSize, *ppszPIN == nullptr});
    if (g_steps.empty()) {
        ADD_FAILURE() << "unexpected PIN prompt";
        return -1;
    }
    PromptStep stStep = g_steps.front();
    g_steps.pop_front();
    if (stStep.fnBefore) {
        stStep.fnBefore();
    }
    if (stStep.pszPIN != nullptr) {
        *ppszPIN = strdup(stStep.pszPIN);
    } else if (stStep.bGarbagePointer) {
        *ppszPIN = reinterpret_cast<char*>(static_cast<uintptr_t>(0x1));
    }
    return stStep.nResult;
}
