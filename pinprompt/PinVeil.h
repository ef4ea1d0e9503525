// The PIN prompt library's exported interface (libpinveil.so). The module
// links it at load time and calls GetUserPIN whenever the token core needs
// the user's PIN.
#pragma once

#define PINVEIL_EXPORT __attribute__((visibility("default")))

extern "C" {

// Asks the user for a PIN of minPINSize to maxPINSize UTF-8 bytes.
// initState: 0 first prompt, 1 after a wrong PIN, 2 the default PIN may not
// sign. leftTimes: tries left before the PIN locks.
//  0  a valid PIN was entered: *ppszPIN receives a malloc'd NUL-terminated
//     UTF-8 copy that the caller wipes and frees
// -1  cancelled, or no dialog could be shown
// -2  no tries left (alert shown, no dialog)
// -3  init state 2 (alert shown, no dialog)
// On every result but 0, *ppszPIN is left untouched.
PINVEIL_EXPORT int GetUserPIN(int initState, int leftTimes, int minPINSize, int maxPINSize,
                              char** ppszPIN);

// The text shown for a key in the current locale; a key without a text
// comes back as the key itself. The result stays valid as long as the key.
PINVEIL_EXPORT const char* getLocalizedString(const char* pszKey);
}
