// The user's names and home folder, fresh UUID texts and byte reversal.
// Blocks handed out are released by the caller with delete[].
#pragma once

#include <string>

#include "core/token/ResultCodes.h"

// The user's full name (GECOS, else the login name).
RESULT GetUserName(char** ppszUserName);

// The user's home folder.
RESULT GetHomeDirectory(char** ppszHomeDirectory);

// A fresh UUID in its 36-character text form; empty if none could be made.
std::string GenerateUniformGUID();

// A fresh UUID text in a new block.
RESULT CreateGUIDString(char** ppszGUID);

// Assigns a fresh UUID text to strGUID.
RESULT CreateGUIDStr(std::string& strGUID);

// Reverses the first nDataLen bytes in place; below 2 bytes nothing moves.
RESULT SwapByteOrder(unsigned char* pbyData, int nDataLen);
