// This program's own token core never prompts: the module under test has
// its own PIN prompt.
#include "core/token/PinCallback.h"

extern "C" int GetUserPIN_callback(int, int, int, int, char**) { return -1; }
