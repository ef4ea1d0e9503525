// The core asks the user for the PIN through this one function, which it
// declares but does not define: each program that compiles the core
// supplies its own (the module shows the PIN prompt, the manager never
// prompts, tests script it).
//
// initState: 0 first request, 1 after a wrong PIN. leftTimes: tries left.
// On 0 the callee has stored a malloc'd NUL-terminated PIN in *ppszPIN,
// which the caller wipes and frees. -1 is a cancel; -2 locked; -3 default
// PIN not allowed. The caller nulls *ppszPIN before the call and treats
// every result but 0 as "no PIN".
#pragma once

extern "C" int GetUserPIN_callback(int initState, int leftTimes, int minPINSize, int maxPINSize,
                                   char** ppszPIN);
