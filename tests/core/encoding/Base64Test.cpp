#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/encoding/Base64.h"

namespace {

struct EncodeResult {
    RESULT ulResult;
    std::string strText;
};

EncodeResult Encode(const std::string& strData, int nFlags = 0)
{
    unsigned char* pbyOut = nullptr;
    int nOutLen = -1;
    RESULT ulResult = Base64EncodeEx(reinterpret_cast<const unsigned char*>(strData.data()),
                                     static_cast<int>(strData.size()), &pbyOut, nOutLen, nFlags);
    EncodeResult stResult{ulResult, {}};
    if (ulResult == 0) {
        EXPECT_EQ(pbyOut[nOutLen], '\0') << "text must stay terminated";
        stResult.strText.assign(reinterpret_cast<char*>(pbyOut), static_cast<size_t>(nOutLen));
        delete[] pbyOut;
    } else {
        EXPECT_EQ(pbyOut, nullptr);
    }
    return stResult;
}

// Decodes from a heap block of exactly the text's size, so a read past the
// given length is caught by the sanitizer build.
EncodeResult Decode(const std::string& strText)
{
    std::vector<unsigned char> vtrText(strText.begin(), strText.end());
    unsigned char* pbyOut = nullptr;
    int nOutLen = -1;
    RESULT ulResult = Base64DecodeEx(vtrText.empty() ? reinterpret_cast<const unsigned char*>("") : vtrText.data(),
                                     static_cast<int>(vtrText.size()), &pbyOut, nOutLen);
    EncodeResult stResult{ulResult, {}};
    if (ulResult == 0) {
        EXPECT_LE(nOutLen, static_cast<int>(strText.size()));
        stResult.strText.assign(reinterpret_cast<char*>(pbyOut), static_cast<size_t>(nOutLen));
        delete[] pbyOut;
    } else {
        EXPECT_EQ(pbyOut, nullptr);
    }
    return stResult;
}

std::string Bytes(std::initializer_list<int> lstBytes)
{
    std::string strBytes;
    for (int nByte : lstBytes) strBytes.push_back(static_cast<char>(nByte));
    return strBytes;
}

std::string Pattern(size_t nSize)
{
    std::string strData(nSize, '\0');
    for (size_t i = 0; i < nSize; ++i) strData[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    return strData;
}

TEST(Base64Test, Rfc4648VectorsEncodeAndDecode)
{
    const struct {
        const char* pszData;
        const char* pszText;
    } aCases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : aCases) {
        EncodeResult stEnc = Encode(c.pszData);
        ASSERT_EQ(stEnc.ulResult, 0u) << c.pszData;
        EXPECT_EQ(stEnc.strText, c.pszText);
        if (c.pszText[0] != '\0') {
            EncodeResult stDec = Decode(c.pszText);
            ASSERT_EQ(stDec.ulResult, 0u) << c.pszText;
            EXPECT_EQ(stDec.strText, c.pszData);
        }
    }
}

TEST(Base64Test, ShortGroupsWithAndWithoutPadding)
{
    const struct {
        std::string strData;
        int nFlags;
        const char* pszText;
    } aCases[] = {
        {Bytes({0x00}), 0, "AA=="},
        {Bytes({0x00, 0x01}), 0, "AAE="},
        {Bytes({0x00, 0x01, 0x02}), 0, "AAEC"},
        {Bytes({0x00}), BASE64_FLAG_NOPAD, "AA"},
        {Bytes({0x00, 0x01}), BASE64_FLAG_NOPAD, "AAE"},
        {Bytes({0xFF, 0xEF, 0xBE}), 0, "/+++"},
    };
    for (const auto& c : aCases) {
        EncodeResult stEnc = Encode(c.strData, c.nFlags);
        ASSERT_EQ(stEnc.ulResult, 0u);
        EXPECT_EQ(stEnc.strText, c.pszText) << "flags " << c.nFlags;
    }
}

TEST(Base64Test, LineLayout)
{
    const std::string strCrLf = "\r\n";
    const struct {
        size_t nSize;
        int nFlags;
        size_t nLength;
        bool bEndsWithCrLf;
    } aCases[] = {
        {56, 0, 76, false},
        {57, 0, 78, true},
        {58, 0, 82, false},
        {114, 0, 156, true},
        {57, BASE64_FLAG_NOCRLF, 76, false},
        {58, BASE64_FLAG_NOCRLF, 80, false},
    };
    for (const auto& c : aCases) {
        EncodeResult stEnc = Encode(Pattern(c.nSize), c.nFlags);
        ASSERT_EQ(stEnc.ulResult, 0u);
        EXPECT_EQ(stEnc.strText.size(), c.nLength) << c.nSize << " bytes, flags " << c.nFlags;
        EXPECT_EQ(stEnc.strText.size() >= 2 && stEnc.strText.ends_with(strCrLf), c.bEndsWithCrLf) << c.nSize;
        if (c.nFlags & BASE64_FLAG_NOCRLF) {
            EXPECT_EQ(stEnc.strText.find_first_of("\r\n"), std::string::npos);
        }
    }
    // 58 bytes: one full line, CR LF, then the last byte alone with "==".
    std::string strText = Encode(Pattern(58)).strText;
    EXPECT_EQ(strText.substr(76, 2), strCrLf);
    EXPECT_EQ(strText.substr(78).size(), 4u);
    EXPECT_TRUE(strText.ends_with("=="));
}

TEST(Base64Test, RequiredLength)
{
    const struct {
        int nSize;
        int nFlags;
        int64_t nRequired;
    } aCases[] = {
        {0, 0, 2}, {1, 0, 6}, {2, 0, 6}, {3, 0, 6}, {57, 0, 80}, {58, 0, 84}, {-1, 0, -1},
    };
    for (const auto& c : aCases) {
        EXPECT_EQ(Base64EncodeGetRequiredLength(c.nSize, c.nFlags), c.nRequired) << c.nSize;
    }
}

// Every size and flag combination round-trips, stays within the capacity
// the encoder was given and, with line breaks, keeps lines of at most 76
// characters.
TEST(Base64Test, RoundTripsAllSmallSizesAndFlags)
{
    for (int nFlags = 0; nFlags < 4; ++nFlags) {
        for (size_t nSize = 1; nSize <= 400; ++nSize) {
            std::string strData = Pattern(nSize);
            EncodeResult stEnc = Encode(strData, nFlags);
            ASSERT_EQ(stEnc.ulResult, 0u) << nSize << " flags " << nFlags;
            ASSERT_LE(static_cast<int64_t>(stEnc.strText.size()),
                      Base64EncodeGetRequiredLength(static_cast<int>(nSize), nFlags));
            if ((nFlags & BASE64_FLAG_NOCRLF) == 0) {
                size_t nLineStart = 0;
                for (size_t nPos = stEnc.strText.find("\r\n"); nPos != std::string::npos;
                     nPos = stEnc.strText.find("\r\n", nLineStart)) {
                    ASSERT_LE(nPos - nLineStart, 76u);
                    nLineStart = nPos + 2;
                }
                ASSERT_LE(stEnc.strText.size() - nLineStart, 76u);
            }
            EncodeResult stDec = Decode(stEnc.strText);
            ASSERT_EQ(stDec.ulResult, 0u);
            ASSERT_EQ(stDec.strText, strData) << nSize << " flags " << nFlags;
        }
    }
}

TEST(Base64Test, DecodingSkipsNonAlphabetAndStopsOnlyAtGroupStartZero)
{
    const struct {
        std::string strText;
        std::string strData;
    } aCases[] = {
        {"AA==", Bytes({0x00})},
        {"Zm9v\r\nYmFy", "foobar"},
        {" Zm 9v\tYm\nFy ", "foobar"},
        {"Zm9v\x80\xFFYmFy", "foobar"},
        // "=" does not end the text: the groups are AAAA and AA.
        {"AA==AAAA", Bytes({0, 0, 0, 0})},
        // A zero byte where a group starts ends the text...
        {std::string("Zm9v\0YmFy", 9), "foo"},
        // ...inside a group it is skipped.
        {std::string("Zm\0""9v", 5), "foo"},
        {"====\r\n", ""},
        {"Z", ""},
    };
    for (const auto& c : aCases) {
        EncodeResult stDec = Decode(c.strText);
        ASSERT_EQ(stDec.ulResult, 0u);
        EXPECT_EQ(stDec.strText, c.strData) << c.strText;
    }
}

TEST(Base64Test, DecodingReadsOnlyTheGivenLength)
{
    const unsigned char abyText[] = {'Z', 'm', '9', 'v', 'Y', 'm', 'F', 'y'};
    unsigned char* pbyOut = nullptr;
    int nOutLen = 0;
    ASSERT_EQ(Base64DecodeEx(abyText, 4, &pbyOut, nOutLen), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(pbyOut), nOutLen), "foo");
    delete[] pbyOut;
}

TEST(Base64Test, RefusedInputsHandOutNothing)
{
    const unsigned char abyData[4] = {'Z', 'm', '9', 'v'};
    const struct {
        const char* pszCase;
        bool bEncode;
        const unsigned char* pbyIn;
        int nLength;
        bool bNullOut;
        RESULT ulExpected;
    } aCases[] = {
        {"encode negative length", true, abyData, -1, false, ERROR_INVALID_PARAMETER},
        {"encode INT_MAX bytes", true, abyData, INT_MAX, false, ERROR_INVALID_PARAMETER},
        {"encode text past int range", true, abyData, 0x60000000, false, ERROR_INVALID_PARAMETER},
        {"encode null data", true, nullptr, 3, false, E_FAIL},
        {"encode null out", true, abyData, 3, true, ERROR_INVALID_PARAMETER},
        {"decode length 0", false, abyData, 0, false, E_FAIL},
        {"decode negative length", false, abyData, -4, false, E_FAIL},
        {"decode null text", false, nullptr, 4, false, E_FAIL},
        {"decode null out", false, abyData, 4, true, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : aCases) {
        unsigned char abySentinel[1];
        unsigned char* pbyOut = abySentinel;
        int nOutLen = 12345;
        RESULT ulResult = c.bEncode ? Base64EncodeEx(c.pbyIn, c.nLength, c.bNullOut ? nullptr : &pbyOut, nOutLen, 0)
                                    : Base64DecodeEx(c.pbyIn, c.nLength, c.bNullOut ? nullptr : &pbyOut, nOutLen);
        EXPECT_EQ(ulResult, c.ulExpected) << c.pszCase;
        EXPECT_EQ(pbyOut, abySentinel) << c.pszCase;
        EXPECT_EQ(nOutLen, 12345) << c.pszCase;
    }
}

}  // namespace
