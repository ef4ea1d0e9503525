// A token folder "T" in a throwaway home, a builder for crafted container
// files and raw access to a container's file.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "StorageFixture.h"
#include "core/storage/Container.h"
#include "core/storage/StoragePath.h"

// SHA-1 of "abc": the file name of the container named abc.
constexpr const char* kAbcFileName = "a9993e364706816aba3e25717850c26c9cd0d89d";

// Little-endian container bytes, built record by record.
class FileBytes {
public:
    FileBytes& U32(uint32_t uValue)
    {
        for (int i = 0; i < 4; ++i) {
            m_str += static_cast<char>((uValue >> (8 * i)) & 0xFF);
        }
        return *this;
    }
    FileBytes& Raw(const std::string& str)
    {
        m_str += str;
        return *this;
    }
    // Magic, kind, N = name length + 1, the name with its NUL.
    FileBytes& Header(uint32_t uKind, const std::string& strName)
    {
        Raw(std::string("\x44\x00\xDD\x07\x00\x00\x03\x00", 8));
        U32(uKind).U32(static_cast<uint32_t>(strName.size() + 1));
        return Raw(strName).Raw(std::string(1, '\0'));
    }
    FileBytes& Record(uint32_t uTag, const std::string& strValue)
    {
        return U32(uTag).U32(static_cast<uint32_t>(strValue.size())).Raw(strValue);
    }
    FileBytes& Number(uint32_t uTag, uint32_t uValue) { return U32(uTag).U32(4).U32(uValue); }
    // One key pair as the writer lays it out, all fields empty.
    FileBytes& EmptyPair(uint32_t uKeySpec)
    {
        U32(SEQUENCEID_CONTAINER).U32(132).Number(SEQUENCEID_KEYUSAGE, uKeySpec);
        for (uint32_t uTag = SEQUENCEID_ALGORITHM; uTag <= SEQUENCEID_CERTIFICATE_FLAG; ++uTag) {
            Number(uTag, 0);
        }
        for (uint32_t uTag = SEQUENCEID_PRIVATEKEY_LABEL; uTag <= SEQUENCEID_CERTIFICATE; ++uTag) {
            Record(uTag, "");
        }
        return *this;
    }
    const std::string& Str() const { return m_str; }

private:
    std::string m_str;
};

inline std::string Le32(uint32_t uValue)
{
    return FileBytes().U32(uValue).Str();
}

inline const unsigned char* Ptr(const std::string& str)
{
    return reinterpret_cast<const unsigned char*>(str.data());
}

class ContainerFixture : public StorageFixture {
protected:
    void SetUp() override
    {
        StorageFixture::SetUp();
        char* pszTokenPath = nullptr;
        ASSERT_EQ(GetRealTokenPath("T", &pszTokenPath), 0u);
        m_strTokenPath = pszTokenPath;
        delete[] pszTokenPath;
        std::filesystem::create_directories(m_strTokenPath);
    }

    std::string PathOf(const std::string& strFileName) const { return m_strTokenPath + "/" + strFileName; }
    std::string AbcPath() const { return PathOf(kAbcFileName); }

    // A field read back as bytes; "<untouched>" when the call left the out
    // arguments as they were, "<error>" when it failed.
    static std::string Read(Container& container, int nKeyUsage, int nType)
    {
        unsigned char* pbData = reinterpret_cast<unsigned char*>(&kSentinel);
        int nSize = -1;
        if (container.ReadFileInfo(nKeyUsage, &pbData, &nSize, nType) != 0) {
            return "<error>";
        }
        if (pbData == reinterpret_cast<unsigned char*>(&kSentinel)) {
            return nSize == -1 ? "<untouched>" : (nSize == 0 ? "" : "<size without data>");
        }
        if (pbData == nullptr) {
            return nSize == 0 ? "<null>" : "<null with size>";
        }
        std::string str(reinterpret_cast<char*>(pbData), static_cast<size_t>(nSize));
        delete[] pbData;
        return str;
    }

    static RESULT Write(Container& container, int nKeyUsage, const std::string& strValue, int nType, bool bFlush)
    {
        return container.WriteFileInfo(nKeyUsage, strValue.empty() ? nullptr : Ptr(strValue),
                                       static_cast<int>(strValue.size()), nType, bFlush);
    }

    std::string m_strTokenPath;

private:
    static inline char kSentinel = 0;
};
