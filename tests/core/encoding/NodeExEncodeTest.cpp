// Length octets, the one-shot encoder and writing built trees out.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "NodeExTestSupport.h"

namespace {

Bytes Repeat(unsigned char byValue, size_t nCount)
{
    return Bytes(nCount, byValue);
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

TEST(NodeExLength, OctetsAtFormBoundaries)
{
    struct Case {
        int64_t nLength;
        Bytes expected;
    };
    const Case cases[] = {
        {0, {0x00}},
        {127, {0x7F}},
        {128, {0x81, 0x80}},
        {255, {0x81, 0xFF}},
        {256, {0x82, 0x01, 0x00}},
        {65535, {0x82, 0xFF, 0xFF}},
        {65536, {0x83, 0x01, 0x00, 0x00}},
        {0x3200000, {0x84, 0x03, 0x20, 0x00, 0x00}},
        {INT64_MAX, {0x88, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {-2, {0xFE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nLength);
        EXPECT_EQ(EncodeASN1Length(c.nLength, nullptr), static_cast<int>(c.expected.size()));
        unsigned char* pbyOut = nullptr;
        ASSERT_EQ(EncodeASN1Length(c.nLength, &pbyOut), static_cast<int>(c.expected.size()));
        EXPECT_EQ(Bytes(pbyOut, pbyOut + c.expected.size()), c.expected);
        delete[] pbyOut;
    }
}

TEST(NodeExOneShot, WritesTagLengthAndValue)
{
    struct Case {
        unsigned char byTag;
        Bytes value;
        Bytes expectedHeader;
    };
    const Case cases[] = {
        {0x02, {0x00, 0x80}, {0x02, 0x02}},
        {0x05, {}, {0x05, 0x00}},
        {0x04, Repeat(0xAB, 127), {0x04, 0x7F}},
        {0x04, Repeat(0xAB, 128), {0x04, 0x81, 0x80}},
        {0x04, Repeat(0xAB, 256), {0x04, 0x82, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.size());
        unsigned char* pbyOut = nullptr;
        int nOut = 0;
        ASSERT_EQ(ASN1Encode(c.byTag, c.value.data(), static_cast<int>(c.value.size()), &pbyOut,
                             &nOut),
                  0u);
        EXPECT_EQ(Bytes(pbyOut, pbyOut + nOut), Concat({c.expectedHeader, c.value}));
        delete[] pbyOut;
    }
}

TEST(NodeExOneShot, RefusesBadArgumentsAndOversizeWithoutOutput)
{
    const unsigned char abyValue[1] = {0x41};
    unsigned char* pbyOut = nullptr;
    int nOut = -1;
    struct Case {
        const char* pszName;
        const unsigned char* pbyValue;
        int nLength;
        unsigned char** ppbyOut;
        int* pnOut;
    };
    // 0x7FFFFFFB value bytes need 5 length octets: one more than fits.
    const Case cases[] = {
        {"null out", abyValue, 1, nullptr, &nOut},
        {"null out length", abyValue, 1, &pbyOut, nullptr},
        {"negative length", abyValue, -1, &pbyOut, &nOut},
        {"null value", nullptr, 1, &pbyOut, &nOut},
        {"above 0x7FFFFFFE", abyValue, 0x7FFFFFFB, &pbyOut, &nOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(ASN1Encode(0x04, c.pbyValue, c.nLength, c.ppbyOut, c.pnOut),
                  ERROR_INVALID_PARAMETER);
        EXPECT_EQ(pbyOut, nullptr);
        EXPECT_EQ(nOut, -1);
    }
}

// SEQUENCE{INTEGER r, INTEGER s} of an SM2 signature: the content of each
// INTEGER is the 32 bytes as they are, with one 0x00 in front when the top
// bit is set; leading zero bytes are kept.
TEST(NodeExTree, SignatureSequenceByteExact)
{
    struct Case {
        unsigned char byFirstR;
        unsigned char byFirstS;
        size_t nExpectedSize;
    };
    const Case cases[] = {
        {0x7F, 0x01, 70},
        {0x80, 0x01, 71},
        {0x80, 0xFF, 72},
        {0x00, 0x00, 70},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nExpectedSize);
        Bytes r = Repeat(0x11, 32), s = Repeat(0x22, 32);
        r[0] = c.byFirstR;
        s[0] = c.byFirstS;
        const Bytes rContent = r[0] & 0x80 ? Concat({{0x00}, r}) : r;
        const Bytes sContent = s[0] & 0x80 ? Concat({{0x00}, s}) : s;
        const Bytes expected = Concat({{0x30, static_cast<unsigned char>(c.nExpectedSize - 2), 0x02,
                                        static_cast<unsigned char>(rContent.size())},
                                       rContent,
                                       {0x02, static_cast<unsigned char>(sContent.size())},
                                       sContent});
        ASSERT_EQ(expected.size(), c.nExpectedSize);

        NodePtr seq(Constructed(0x30, {Leaf(0x02, rContent), Leaf(0x02, sContent)}));
        EXPECT_EQ(seq->GetTotalRequiredSize(), static_cast<int>(c.nExpectedSize));
        EXPECT_EQ(seq->GetCurrentRequiredLength(), static_cast<int>(c.nExpectedSize));
        EXPECT_EQ(Encode(seq.get()), expected);

        // The one-shot path that signing uses gives the same bytes.
        unsigned char *pbyR = nullptr, *pbyS = nullptr, *pbySeq = nullptr;
        int nR = 0, nS = 0, nSeq = 0;
        ASSERT_EQ(ASN1Encode(0x02, rContent.data(), static_cast<int>(rContent.size()), &pbyR, &nR),
                  0u);
        ASSERT_EQ(ASN1Encode(0x02, sContent.data(), static_cast<int>(sContent.size()), &pbyS, &nS),
                  0u);
        const Bytes both = Concat({Bytes(pbyR, pbyR + nR), Bytes(pbyS, pbyS + nS)});
        ASSERT_EQ(ASN1Encode(0x30, both.data(), static_cast<int>(both.size()), &pbySeq, &nSeq), 0u);
        EXPECT_EQ(Bytes(pbySeq, pbySeq + nSeq), expected);
        delete[] pbyR;
        delete[] pbyS;
        delete[] pbySeq;
    }
}

TEST(NodeExTree, AlgorithmIdentifierWithObjectIdentifiers)
{
    // id-ecPublicKey 1.2.840.10045.2.1 and the SM2 curve 1.2.156.10197.1.301.
    const Bytes ecPublicKey = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};
    const Bytes sm2Curve = {0x2A, 0x81, 0x1C, 0xCF, 0x55, 0x01, 0x82, 0x2D};
    NodePtr algorithm(Constructed(0x30, {Leaf(0x06, ecPublicKey), Leaf(0x06, sm2Curve)}));
    EXPECT_EQ(Encode(algorithm.get()),
              (Bytes{0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01, 0x06, 0x08,
                     0x2A, 0x81, 0x1C, 0xCF, 0x55, 0x01, 0x82, 0x2D}));
}

// Long-form lengths at both levels of SEQUENCE{OCTET STRING}, encoded and
// decoded back to the same tree and bytes.
TEST(NodeExTree, LongFormLengthsRoundTrip)
{
    struct Case {
        size_t nValueSize;
        Bytes innerHeader;
        Bytes outerHeader;
    };
    const Case cases[] = {
        {125, {0x04, 0x7D}, {0x30, 0x7F}},
        {126, {0x04, 0x7E}, {0x30, 0x81, 0x80}},
        {127, {0x04, 0x7F}, {0x30, 0x81, 0x81}},
        {128, {0x04, 0x81, 0x80}, {0x30, 0x81, 0x83}},
        {252, {0x04, 0x81, 0xFC}, {0x30, 0x81, 0xFF}},
        {253, {0x04, 0x81, 0xFD}, {0x30, 0x82, 0x01, 0x00}},
        {255, {0x04, 0x81, 0xFF}, {0x30, 0x82, 0x01, 0x02}},
        {256, {0x04, 0x82, 0x01, 0x00}, {0x30, 0x82, 0x01, 0x04}},
        {65531, {0x04, 0x82, 0xFF, 0xFB}, {0x30, 0x82, 0xFF, 0xFF}},
        {65535, {0x04, 0x82, 0xFF, 0xFF}, {0x30, 0x83, 0x01, 0x00, 0x03}},
        {65536, {0x04, 0x83, 0x01, 0x00, 0x00}, {0x30, 0x83, 0x01, 0x00, 0x05}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nValueSize);
        Bytes value(c.nValueSize);
        for (size_t i = 0; i < value.size(); ++i) {
            value[i] = static_cast<unsigned char>(i * 7);
        }
        NodePtr seq(Constructed(0x30, {Leaf(0x04, value)}));
        const Bytes expected = Concat({c.outerHeader, c.innerHeader, value});
        const Bytes encoded = Encode(seq.get());
        ASSERT_EQ(encoded, expected);

        NodeEx* pRoot = nullptr;
        ASSERT_EQ(DecodeASN1MemoryEx(encoded.data(), encoded.size(), &pRoot), 0u);
        NodePtr root(pRoot);
        EXPECT_EQ(root->lengthOctets, c.outerHeader.size() - 1);
        EXPECT_EQ(root->totalSize, expected.size());
        ASSERT_EQ(root->children.size(), 1u);
        EXPECT_EQ(root->children[0]->lengthOctets, c.innerHeader.size() - 1);
        EXPECT_EQ(ValueOf(root->children[0]), value);
        EXPECT_EQ(Encode(root.get()), expected);
    }
}

TEST(NodeExTree, EncodesIntoACallersBufferAtAnOffset)
{
    NodePtr first(Leaf(0x02, {0x05}));
    NodePtr second(Constructed(0x30, {Leaf(0x04, {0x41, 0x42})}));
    const int nSize = first->GetCurrentRequiredLength() + second->GetCurrentRequiredLength();
    unsigned char abyBuffer[16];
    memset(abyBuffer, 0xEE, sizeof(abyBuffer));
    unsigned char* pbyBuffer = abyBuffer;
    int nOffset = 0;
    ASSERT_EQ(EncodeASN1ToMemory(first.get(), &pbyBuffer, &nOffset, nullptr), 0u);
    ASSERT_EQ(EncodeASN1ToMemory(second.get(), &pbyBuffer, &nOffset, nullptr), 0u);
    EXPECT_EQ(nOffset, nSize);
    EXPECT_EQ(Bytes(abyBuffer, abyBuffer + sizeof(abyBuffer)),
              (Bytes{0x02, 0x01, 0x05, 0x30, 0x04, 0x04, 0x02, 0x41, 0x42, 0xEE, 0xEE, 0xEE, 0xEE,
                     0xEE, 0xEE, 0xEE}));
}

TEST(NodeExTree, NodeCounterLimitsNodesWritten)
{
    struct Case {
        int nChildren;
        RESULT ulExpected;
    };
    // The root counts: 255 children make 256 nodes, the most one encode writes.
    const Case cases[] = {{255, 0}, {256, ASN1_E_RECURSION}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nChildren);
        NodePtr seq(new NodeEx(0x30));
        for (int i = 0; i < c.nChildren; ++i) {
            seq->AddChild(Leaf(0x05, {}));
        }
        RESULT ulResult = 0;
        const Bytes encoded = Encode(seq.get(), &ulResult);
        EXPECT_EQ(ulResult, c.ulExpected);
        if (c.ulExpected == 0) {
            EXPECT_EQ(encoded.size(), static_cast<size_t>(seq->GetTotalRequiredSize()));
        }
        // Without a counter nothing is limited.
        unsigned char* pbyOut = nullptr;
        int nOffset = 0;
        EXPECT_EQ(EncodeASN1ToMemory(seq.get(), &pbyOut, &nOffset, nullptr), 0u);
        delete[] pbyOut;
    }
}

TEST(NodeExTree, EncodingSizeLimit)
{
    // Tag and five length octets plus the value: exactly 0x3200000 is allowed.
    struct Case {
        uint64_t nValueSize;
        RESULT ulExpected;
    };
    const Case cases[] = {{ASN1_MAX_DATA_SIZE - 6, 0}, {ASN1_MAX_DATA_SIZE - 5, ASN1_E_DATA_SIZE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nValueSize);
        const Bytes value(c.nValueSize, 0x5A);
        NodeEx node(0x04);
        ASSERT_EQ(node.SetValue(value.data(), value.size()), 0u);
        unsigned char* pbyOut = nullptr;
        int nOffset = 0;
        EXPECT_EQ(EncodeASN1ToMemory(&node, &pbyOut, &nOffset, nullptr), c.ulExpected);
        EXPECT_EQ(pbyOut == nullptr, c.ulExpected != 0);
        delete[] pbyOut;
    }
    NodeEx tooBig(0x04);
    const Bytes value(ASN1_MAX_DATA_SIZE + 1);
    EXPECT_EQ(tooBig.SetValue(value.data(), value.size()), ASN1_E_DATA_SIZE);
}

TEST(NodeExTree, RefusesBadArgumentsAndInconsistentTrees)
{
    NodePtr leaf(Leaf(0x02, {0x01}));
    unsigned char* pbyOut = nullptr;
    int nOffset = 0;
    EXPECT_EQ(EncodeASN1ToMemory(nullptr, &pbyOut, &nOffset, nullptr), E_FAIL);
    EXPECT_EQ(EncodeASN1ToMemory(leaf.get(), nullptr, &nOffset, nullptr), E_FAIL);
    EXPECT_EQ(EncodeASN1ToMemory(leaf.get(), &pbyOut, nullptr, nullptr), E_FAIL);

    // A child added below a node that was already added to its parent grows
    // only the middle node: the root's buffer would be too small for it.
    NodeEx* pMiddle = new NodeEx(0x30);
    NodePtr root(Constructed(0x30, {pMiddle}));
    pMiddle->AddChild(Leaf(0x04, Bytes(40, 0x33)));
    EXPECT_EQ(EncodeASN1ToMemory(root.get(), &pbyOut, &nOffset, nullptr), E_FAIL);
    EXPECT_EQ(pbyOut, nullptr);
    EXPECT_EQ(nOffset, 0);

    // A node whose value fields were changed to point past its value.
    NodeEx bogus(0x04);
    bogus.valueLength = bogus.currentLength = 10;
    EXPECT_EQ(EncodeASN1ToMemory(&bogus, &pbyOut, &nOffset, nullptr), E_FAIL);
    EXPECT_EQ(pbyOut, nullptr);
}

TEST(NodeExTree, AddChildIgnoresChildrenItCannotTake)
{
    NodePtr root(new NodeEx(0x30));
    NodeEx* pChild = Constructed(0x30, {Leaf(0x05, {})});
    root->AddChild(pChild);
    const uint64_t nLength = root->valueLength;
    EXPECT_EQ(nLength, 4u);

    NodePtr other(new NodeEx(0x30));
    other->AddChild(pChild);       // already has a parent
    root->AddChild(nullptr);
    pChild->AddChild(root.get());  // would make a cycle
    pChild->AddChild(pChild);
    NodePtr valued(Leaf(0x04, {0x41}));
    NodePtr orphan(new NodeEx(0x05));
    valued->AddChild(orphan.get());  // a node with a value takes no children
    EXPECT_TRUE(valued->children.empty());
    EXPECT_EQ(orphan->parent, nullptr);
    EXPECT_TRUE(other->children.empty());
    EXPECT_EQ(root->valueLength, nLength);
    EXPECT_EQ(pChild->children.size(), 1u);
    EXPECT_EQ(Encode(root.get()), (Bytes{0x30, 0x04, 0x30, 0x02, 0x05, 0x00}));
}

TEST(NodeExTree, SetValueOnlyOnUnattachedLeaves)
{
    const unsigned char abyValue[2] = {1, 2};
    NodePtr root(Constructed(0x30, {Leaf(0x04, {0x41})}));
    EXPECT_EQ(root->SetValue(abyValue, 2), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(root->children[0]->SetValue(abyValue, 2), ERROR_INVALID_PARAMETER);
    NodeEx leaf(0x04);
    EXPECT_EQ(leaf.SetValue(nullptr, 1), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(leaf.SetValue(abyValue, 2), 0u);
    ASSERT_EQ(leaf.SetValue(abyValue, 1), 0u);
    EXPECT_EQ(Encode(&leaf), (Bytes{0x04, 0x01, 0x01}));
}

} // namespace
