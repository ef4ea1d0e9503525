// Texts of the PIN dialog and its alerts, in English and simplified Chinese.
#pragma once

// True when the locale named by LC_ALL, else LC_MESSAGES, else LANG (codeset
// and modifier stripped) is exactly zh, zh_CN, zh_Hans or zh_Hans_CN.
// Traditional Chinese and other regions get the English texts.
bool IsChineseLocale();
