// The mechanisms the module reports, in the order C_GetMechanismList
// hands them out. Some are listed only: no operation accepts them.
#pragma once

#include "core/token/VendorDefines.h"

inline constexpr CK_MECHANISM_TYPE SupportMechanismSet[QYRA_PKCS11_MECHANISM_COUNT] = {
    CKM_RSA_PKCS_KEY_PAIR_GEN,
    CKM_RSA_PKCS,
    CKM_MD5_RSA_PKCS,
    CKM_SHA1_RSA_PKCS,
    CKM_SHA256_RSA_PKCS,
    CKM_SHA384_RSA_PKCS,
    CKM_SHA512_RSA_PKCS,
    CKM_RC4_KEY_GEN,
    CKM_RC4,
    CKM_DES_KEY_GEN,
    CKM_DES_ECB,
    CKM_DES_CBC,
    CKM_DES3_KEY_GEN,
    CKM_DES3_ECB,
    CKM_DES3_CBC,
    CKM_MD5,
    CKM_SHA_1,
    CKM_SHA256,
    CKM_SHA384,
    CKM_SHA512,
    CKM_DES_ECB_ENCRYPT_DATA,
    CKM_DES_CBC_ENCRYPT_DATA,
    CKM_DES3_ECB_ENCRYPT_DATA,
    CKM_DES3_CBC_ENCRYPT_DATA,
    CKM_SM2_CRYPT,
    CKM_SM2_SIGN,
    CKM_SM2_RESERVED_3,
    CKM_SM2_SM3_SIGN,
    CKM_SM3,
    CKM_SM2_RESERVED_6,
    CKM_SM2_RESERVED_7,
    CKM_SM2_RESERVED_8,
    CKM_SM2_KEY_PAIR_GEN,
};

static_assert(SupportMechanismSet[0] == 0x0 && SupportMechanismSet[5] == 0x41 &&
              SupportMechanismSet[23] == 0x1103 && SupportMechanismSet[32] == 0x00010009);
