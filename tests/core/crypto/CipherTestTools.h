// Small helpers of the Cipher tests: hex text and the openssl command line
// as an independent reference.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes FromHex(const std::string& strHex)
{
    Bytes vtrOut;
    for (size_t i = 0; i + 1 < strHex.size(); i += 2) {
        vtrOut.push_back(static_cast<uint8_t>(std::stoul(strHex.substr(i, 2), nullptr, 16)));
    }
    return vtrOut;
}

inline std::string ToHex(const uint8_t* pbyData, size_t nLen)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string strOut;
    for (size_t i = 0; i < nLen; ++i) {
        strOut += kDigits[pbyData[i] >> 4];
        strOut += kDigits[pbyData[i] & 0x0F];
    }
    return strOut;
}

inline std::string ToHex(const Bytes& vtrData)
{
    return ToHex(vtrData.data(), vtrData.size());
}

inline Bytes BytesOf(const std::string& strText)
{
    return Bytes(strText.begin(), strText.end());
}

// Encrypts with `openssl enc` (both providers, so single DES and RC4 are
// available). An empty IV leaves -iv out. Returns false if the command fails.
inline bool OpensslEncrypt(const std::string& strCipher, const Bytes& vtrKey, const Bytes& vtrIV,
                           const Bytes& vtrPlain, Bytes& vtrOut)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string strStem = "tessera-enc-" + std::to_string(getpid());
    const std::filesystem::path in = dir / (strStem + ".in");
    const std::filesystem::path out = dir / (strStem + ".out");
    {
        std::ofstream file(in, std::ios::binary);
        file.write(reinterpret_cast<const char*>(vtrPlain.data()),
                   static_cast<std::streamsize>(vtrPlain.size()));
    }
    std::string strCommand = "openssl enc -e -" + strCipher + " -K " + ToHex(vtrKey);
    if (!vtrIV.empty()) {
        strCommand += " -iv " + ToHex(vtrIV);
    }
    strCommand += " -provider legacy -provider default -in '" + in.string() + "' -out '" +
                  out.string() + "' 2>/dev/null";
    const int nStatus = std::system(strCommand.c_str());
    bool bOk = nStatus == 0;
    if (bOk) {
        std::ifstream file(out, std::ios::binary);
        vtrOut.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(in);
    std::filesystem::remove(out);
    return bOk;
}
