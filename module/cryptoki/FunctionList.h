// The module's PKCS#11 v2.20 function list: all 68 functions in the
// standard order, none null.
#pragma once

#include "core/token/ResultCodes.h"

extern const CK_FUNCTION_LIST g_FunctionList;
