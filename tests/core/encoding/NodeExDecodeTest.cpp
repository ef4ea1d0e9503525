// Decoding DER from memory and from files, and refusing malformed input.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "NodeExTestSupport.h"

namespace {

RESULT DecodeBytes(const Bytes& input, NodePtr* pRoot)
{
    // An empty vector has no data pointer; empty input is still input.
    static const unsigned char byNothing = 0;
    NodeEx* pNode = nullptr;
    RESULT ulResult = DecodeASN1MemoryEx(input.empty() ? &byNothing : input.data(), input.size(),
                                         &pNode);
    pRoot->reset(pNode);
    return ulResult;
}

// Wraps inner in `levels` SEQUENCEs.
Bytes Nest(Bytes inner, int nLevels)
{
    for (int i = 0; i < nLevels; ++i) {
        unsigned char* pbyOut = nullptr;
        int nOut = 0;
        EXPECT_EQ(ASN1Encode(0x30, inner.data(), static_cast<int>(inner.size()), &pbyOut, &nOut),
                  0u);
        inner.assign(pbyOut, pbyOut + nOut);
        delete[] pbyOut;
    }
    return inner;
}

// A SEQUENCE holding nChildren NULLs.
Bytes Flat(int nChildren)
{
    Bytes value;
    for (int i = 0; i < nChildren; ++i) {
        value.push_back(0x05);
        value.push_back(0x00);
    }
    unsigned char* pbyOut = nullptr;
    int nOut = 0;
    EXPECT_EQ(ASN1Encode(0x30, value.data(), static_cast<int>(value.size()), &pbyOut, &nOut), 0u);
    Bytes out(pbyOut, pbyOut + nOut);
    delete[] pbyOut;
    return out;
}

TEST(NodeExDecode, SequenceOfTwoPrimitives)
{
    // Bytes after the root TLV are not part of it.
    const Bytes input = {0x30, 0x06, 0x02, 0x01, 0x05, 0x04, 0x01, 0x41, 0xFF, 0xFF};
    NodePtr root;
    ASSERT_EQ(DecodeBytes(input, &root), 0u);
    EXPECT_EQ(root->tag, 0x30);
    EXPECT_EQ(root->valueLength, 6u);
    EXPECT_EQ(root->totalSize, 8u);
    EXPECT_EQ(root->data, input.data());
    EXPECT_EQ(root->parent, nullptr);
    ASSERT_EQ(root->children.size(), 2u);
    EXPECT_EQ(root->children[0]->tag, 0x02);
    EXPECT_EQ(ValueOf(root->children[0]), Bytes{0x05});
    EXPECT_EQ(root->children[1]->tag, 0x04);
    EXPECT_EQ(root->children[1]->valueOffset, 7u);
    EXPECT_EQ(ValueOf(root->children[1]), Bytes{0x41});
    EXPECT_EQ(root->children[1]->parent, root.get());
    EXPECT_EQ(root->children[1]->ownedValue, nullptr);
    EXPECT_EQ(Encode(root.get()), Bytes(input.begin(), input.begin() + 8));
}

TEST(NodeExDecode, WhichTagsAreLookedInto)
{
    // Each value below holds a valid TLV (05 00); only constructed tags and
    // the ones treated as such get it as a child.
    struct Case {
        unsigned char byTag;
        size_t nChildren;
    };
    const Case cases[] = {
        {0x03, 0}, {0x04, 0}, {0x1F, 0}, {0x80, 0}, {0x8F, 0},
        {0x20, 1}, {0x30, 1}, {0x31, 1}, {0x7F, 1}, {0x90, 1}, {0xA0, 1}, {0xFF, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byTag));
        NodePtr root;
        ASSERT_EQ(DecodeBytes({c.byTag, 0x02, 0x05, 0x00}, &root), 0u);
        EXPECT_EQ(root->children.size(), c.nChildren);
    }
    NodePtr empty;
    ASSERT_EQ(DecodeBytes({0x05, 0x00}, &empty), 0u);
    EXPECT_EQ(empty->valueLength, 0u);
    EXPECT_TRUE(empty->children.empty());
}

TEST(NodeExDecode, RefusesMalformedInput)
{
    struct Case {
        const char* pszName;
        Bytes input;
        RESULT ulExpected;
        bool bRootHandedOut;
    };
    const Case cases[] = {
        {"empty", {}, ASN1_DECODE_FAILED, false},
        {"tag only", {0x30}, ASN1_DECODE_FAILED, false},
        {"truncated value", {0x04, 0x05, 0x01, 0x02}, ASN1_DECODE_FAILED, false},
        {"long form octets missing", {0x04, 0x82, 0x01}, ASN1_DECODE_FAILED, false},
        {"long form past end", {0x04, 0x81, 0x02, 0x41}, ASN1_DECODE_FAILED, false},
        {"indefinite primitive", {0x04, 0x80, 0x41, 0x00, 0x00}, ASN1_DECODE_FAILED, false},
        {"indefinite constructed", {0x30, 0x80, 0x02, 0x01, 0x05, 0x00, 0x00},
         ASN1_DECODE_FAILED, false},
        {"five length octets", {0x04, 0x85, 0x01, 0x00, 0x00, 0x00, 0x00, 0x41},
         ASN1_DECODE_FAILED, false},
        {"127 length octets", {0x04, 0xFF, 0x01}, ASN1_DECODE_FAILED, false},
        {"long form for a short length", {0x04, 0x81, 0x02, 0x41, 0x42}, ASN1_DECODE_FAILED,
         false},
        {"leading zero length octet", {0x30, 0x82, 0x00, 0x02, 0x05, 0x00}, ASN1_DECODE_FAILED,
         false},
        {"non-minimal child length", {0x30, 0x05, 0x04, 0x81, 0x02, 0x41, 0x42},
         ASN1_DECODE_FAILED, true},
        {"size above 0x3200000", {0x04, 0x84, 0x03, 0x20, 0x00, 0x00}, ASN1_E_DATA_SIZE, false},
        {"largest 4-octet length", {0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, ASN1_E_DATA_SIZE, false},
        // Exactly 0x3200000 bytes in all is allowed, so this is only short.
        {"size at the limit but past end", {0x04, 0x84, 0x03, 0x1F, 0xFF, 0xFA},
         ASN1_DECODE_FAILED, false},
        {"child past end of input", {0x30, 0x03, 0x04, 0x05, 0x00}, ASN1_DECODE_FAILED, true},
        {"child past end of parent", {0x30, 0x02, 0x04, 0x03, 0x41, 0x42, 0x43},
         ASN1_DECODE_FAILED, true},
        {"child header cut by parent", {0x30, 0x01, 0x04, 0x00}, ASN1_DECODE_FAILED, true},
        {"child long form cut by parent", {0x30, 0x02, 0x04, 0x81, 0x01, 0x41},
         ASN1_DECODE_FAILED, true},
        {"indefinite child", {0x30, 0x04, 0x30, 0x80, 0x00, 0x00}, ASN1_DECODE_FAILED, true},
        {"second child truncated", {0x30, 0x05, 0x05, 0x00, 0x04, 0x02, 0x41},
         ASN1_DECODE_FAILED, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        NodePtr root;
        EXPECT_EQ(DecodeBytes(c.input, &root), c.ulExpected);
        EXPECT_EQ(root != nullptr, c.bRootHandedOut);
    }
    NodeEx* pRoot = nullptr;
    const unsigned char abyNull[2] = {0x05, 0x00};
    EXPECT_EQ(DecodeASN1MemoryEx(nullptr, 2, &pRoot), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DecodeASN1MemoryEx(abyNull, 2, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DecodeASN1FileEx(nullptr, &pRoot), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(pRoot, nullptr);
}

TEST(NodeExDecode, NodeCountLimitHoldsFlatAndDeep)
{
    struct Case {
        const char* pszName;
        Bytes input;
        RESULT ulExpected;
    };
    // 255 nodes in all are accepted, 256 are not; depth counts the same,
    // and nesting far beyond the limit is refused without following it.
    const Case cases[] = {
        {"flat 255", Flat(254), 0},
        {"flat 256", Flat(255), ASN1_DECODE_FAILED},
        {"deep 255", Nest({0x05, 0x00}, 254), 0},
        {"deep 256", Nest({0x05, 0x00}, 255), ASN1_DECODE_FAILED},
        {"deep 5000", Nest({0x05, 0x00}, 5000), ASN1_DECODE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        NodePtr root;
        EXPECT_EQ(DecodeBytes(c.input, &root), c.ulExpected);
        ASSERT_NE(root, nullptr);
        if (c.ulExpected == 0) {
            EXPECT_EQ(Encode(root.get()), c.input);
        }
    }
}

class NodeExFileDecode : public ::testing::Test {
protected:
    void SetUp() override { m_pFile = tmpfile(); ASSERT_NE(m_pFile, nullptr); }
    void TearDown() override { fclose(m_pFile); }

    void Write(const Bytes& input)
    {
        if (!input.empty()) {
            ASSERT_EQ(fwrite(input.data(), 1, input.size(), m_pFile), input.size());
        }
        ASSERT_EQ(fflush(m_pFile), 0);
    }

    FILE* m_pFile = nullptr;
};

TEST_F(NodeExFileDecode, ValuesStayInTheFileAndReencode)
{
    const Bytes input = {0x30, 0x09, 0x02, 0x01, 0x05, 0xA0, 0x04, 0x04, 0x02, 0x41, 0x42};
    Write(input);
    NodeEx* pRoot = nullptr;
    ASSERT_EQ(DecodeASN1FileEx(m_pFile, &pRoot), 0u);
    NodePtr root(pRoot);
    EXPECT_EQ(root->file, m_pFile);
    EXPECT_EQ(root->data, nullptr);
    EXPECT_EQ(root->sourceSize, input.size());
    ASSERT_EQ(root->children.size(), 2u);
    ASSERT_EQ(root->children[1]->children.size(), 1u);
    const NodeEx* pOctets = root->children[1]->children[0];
    EXPECT_EQ(pOctets->file, m_pFile);
    EXPECT_EQ(pOctets->valueOffset, 9u);
    EXPECT_EQ(pOctets->valueLength, 2u);
    EXPECT_EQ(pOctets->GetValue(), nullptr);
    EXPECT_EQ(Encode(root.get()), input);
}

TEST_F(NodeExFileDecode, RefusesWhatMemoryDecodingRefuses)
{
    struct Case {
        const char* pszName;
        Bytes input;
        RESULT ulExpected;
    };
    const Case cases[] = {
        {"empty file", {}, ASN1_DECODE_FAILED},
        {"truncated value", {0x04, 0x05, 0x01}, ASN1_DECODE_FAILED},
        {"indefinite", {0x30, 0x80, 0x05, 0x00, 0x00, 0x00}, ASN1_DECODE_FAILED},
        {"size above 0x3200000", {0x04, 0x84, 0x03, 0x20, 0x00, 0x00}, ASN1_E_DATA_SIZE},
        {"child past end", {0x30, 0x02, 0x04, 0x05, 0x41}, ASN1_DECODE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        ASSERT_EQ(ftruncate(fileno(m_pFile), 0), 0);
        rewind(m_pFile);
        Write(c.input);
        NodeEx* pRoot = nullptr;
        EXPECT_EQ(DecodeASN1FileEx(m_pFile, &pRoot), c.ulExpected);
        delete pRoot;
    }
}

// The seed corpus holds real structures (certificates, keys, signatures):
// each decodes, and writing the tree back gives the file byte for byte.
TEST(NodeExDecode, SeedStructuresRoundTripExactly)
{
    const std::filesystem::path folder =
        std::filesystem::path(TESSERA_SOURCE_DIR) / "fuzz" / "corpus" / "der";
    int nSeen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        NodePtr root;
        ASSERT_EQ(DecodeBytes(input, &root), 0u);
        EXPECT_EQ(root->totalSize, input.size());
        EXPECT_EQ(Encode(root.get()), input);
        ++nSeen;
    }
    EXPECT_GT(nSeen, 0);
}

} // namespace
