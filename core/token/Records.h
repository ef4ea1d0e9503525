// Plain records, key specs, algorithm ids, attribute flag bits and object
// classes shared by the whole token core.
#pragma once

#include <cstdint>
#include <vector>

class Container;
class SymKeyHandle;
class DataHandle;
class PublicKeyHandle;
class PrivateKeyHandle;
class CertificateHandle;

// Paths and names live in 260-byte buffers: 259 characters and a NUL.
constexpr int MAX_PATH_LEN = 260;

// Counted byte string for stored items (certificates, CKA_ID, sealed data).
struct _CRYPTOAPI_BLOB {
    uint32_t cbData;
    uint8_t* pbData;
};

// One entry of the slot table.
struct _slotDesc {
    unsigned long ulSlotID;
    char szTokenName[MAX_PATH_LEN];
};

// One entry of a token's object table; owns every object it points to.
struct _containerObjectInfo {
    Container* pContainerHandle;
    SymKeyHandle* pSymKeyHandle;
    DataHandle* pDataHandle;
    PublicKeyHandle* pSignPubKeyHandle;
    PrivateKeyHandle* pSignPriKeyHandle;
    CertificateHandle* pSignCertHandle;
    PublicKeyHandle* pExchangePubKeyHandle;
    PrivateKeyHandle* pExchangePriKeyHandle;
    CertificateHandle* pExchangeCertHandle;
    bool bIsSymKey;
};

// One container in a key set listing.
struct _CONTAINER_CONTEXT {
    char szContainerName[MAX_PATH_LEN];
    char szTokenName[MAX_PATH_LEN];
    _CRYPTOAPI_BLOB stSignCert;
    _CRYPTOAPI_BLOB stExchangeCert;
};

// One token in a key set listing.
struct _KEY_CONTEXT {
    char szTokenPath[MAX_PATH_LEN];
    char szTokenName[MAX_PATH_LEN];
    std::vector<_CONTAINER_CONTEXT> vtrContainers;
};

// Key specs: a container holds at most one key pair of each.
constexpr int AT_KEYEXCHANGE = 1;
constexpr int AT_SIGNATURE = 2;

// Key families (m_nKeyType).
constexpr int KEY_TYPE_RSA = 1;
constexpr int KEY_TYPE_SM2 = 2;

// Algorithm identifiers, in the CALG_ numbering.
constexpr uint32_t CALG_MD5 = 0x8003;
constexpr uint32_t CALG_SHA1 = 0x8004;
constexpr uint32_t CALG_SSL3_SHAMD5 = 0x8008;
constexpr uint32_t CALG_SHA_256 = 0x800C;
constexpr uint32_t CALG_SHA_512 = 0x800E;
constexpr uint32_t CALG_SM3 = 0x800F;
constexpr uint32_t CALG_DES = 0x6601;
constexpr uint32_t CALG_3DES = 0x6603;
constexpr uint32_t CALG_3DES_112 = 0x6609;
constexpr uint32_t CALG_RC4 = 0x6801;
constexpr uint32_t CALG_RSA_KEYX = 0xA400;
constexpr uint32_t CALG_RSA_SIGN = 0x2400;
constexpr uint32_t CALG_SM2_KEYX = 0xBE00;
constexpr uint32_t CALG_SM2_SIGN = 0x3E00;

// Attribute flag word of key, certificate and data objects (m_ulFlags).
constexpr unsigned long OBJ_FLAG_PRIVATE = 0x00000004;
constexpr unsigned long OBJ_FLAG_TRUSTED = 0x00000008;
constexpr unsigned long OBJ_FLAG_SENSITIVE = 0x00000010;
constexpr unsigned long OBJ_FLAG_ENCRYPT = 0x00000020;
constexpr unsigned long OBJ_FLAG_DECRYPT = 0x00000040;
constexpr unsigned long OBJ_FLAG_WRAP = 0x00000080;
constexpr unsigned long OBJ_FLAG_UNWRAP = 0x00000100;
constexpr unsigned long OBJ_FLAG_SIGN = 0x00000200;
constexpr unsigned long OBJ_FLAG_SIGN_RECOVER = 0x00000400;
constexpr unsigned long OBJ_FLAG_VERIFY = 0x00000800;
constexpr unsigned long OBJ_FLAG_VERIFY_RECOVER = 0x00001000;
constexpr unsigned long OBJ_FLAG_DERIVE = 0x00002000;
constexpr unsigned long OBJ_FLAG_EXTRACTABLE = 0x00004000;
constexpr unsigned long OBJ_FLAG_LOCAL = 0x00008000;
constexpr unsigned long OBJ_FLAG_NEVER_EXTRACTABLE = 0x00010000;
constexpr unsigned long OBJ_FLAG_ALWAYS_SENSITIVE = 0x00020000;
constexpr unsigned long OBJ_FLAG_MODIFIABLE = 0x00040000;

// Object classes as used in object handle IDs (the PKCS#11 CKO_ values).
constexpr int OBJECT_CLASS_DATA = 0;
constexpr int OBJECT_CLASS_CERTIFICATE = 1;
constexpr int OBJECT_CLASS_PUBLIC_KEY = 2;
constexpr int OBJECT_CLASS_PRIVATE_KEY = 3;
constexpr int OBJECT_CLASS_SECRET_KEY = 4;
