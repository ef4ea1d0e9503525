// Text of a hex dump record: a length line, then one line per 16 bytes
// with the offset, the bytes in hex and their printable characters.
#pragma once

#include <cstddef>
#include <string>

std::string FormatHexDump(const unsigned char* pbyData, size_t nLength);
