#include "pinprompt/LocalizedStrings.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "pinprompt/PinVeil.h"

namespace {

struct _localizedText {
    const char* pszKey;
    const char* pszEnglish;
    const char* pszChinese;
};

// Compiled in, so the library finds its texts wherever it is loaded from.
constexpr _localizedText g_LocalizedTexts[] = {
    {"PINTitle", "Token PIN", "令牌PIN码"},
    {"EnterPIN", "Please enter the user PIN of your token.", "请输入令牌的用户PIN码。"},
    {"PINPrompt", "PIN:", "PIN码："},
    {"OK", "OK", "确定"},
    {"Cancel", "Cancel", "取消"},
    {"RetryPIN", "Wrong PIN, please try again.", "PIN码错误，请重新输入。"},
    {"LeftTimes", "Attempts left: ", "剩余尝试次数："},
    {"PINLengthError", "The PIN has the wrong length.", "PIN码长度不正确。"},
    {"Error", "Error", "错误"},
    {"PINLocked", "The PIN is locked: no attempts are left.", "PIN码已锁定，没有剩余的尝试次数。"},
    {"DefaultPinNotSign", "The default PIN cannot be used for signing. Please change the PIN first.",
     "默认PIN码不能用于签名，请先修改PIN码。"},
};

}  // namespace

bool IsChineseLocale()
{
    const char* pszLocale = nullptr;
    for (const char* pszName : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* pszValue = std::getenv(pszName);
        if (pszValue != nullptr && pszValue[0] != '\0') {
            pszLocale = pszValue;
            break;
        }
    }
    if (pszLocale == nullptr) {
        return false;
    }
    std::string_view strLocale(pszLocale, std::strcspn(pszLocale, ".@"));
    return strLocale == "zh" || strLocale == "zh_CN" || strLocale == "zh_Hans" ||
           strLocale == "zh_Hans_CN";
}

extern "C" const char* getLocalizedString(const char* pszKey)
{
    if (pszKey == nullptr) {
        return "";
    }
    for (const _localizedText& stText : g_LocalizedTexts) {
        if (std::strcmp(stText.pszKey, pszKey) == 0) {
            return IsChineseLocale() ? stText.pszChinese : stText.pszEnglish;
        }
    }
    return pszKey;
}
