// Tessera's vendor PKCS#11 constants. They sit in the 0x0001xxxx block,
// outside the CKA_/CKM_VENDOR_DEFINED ranges, and are compared as plain
// CK_ULONG values. Applications may include this header to use SM2 keys.
#pragma once

#include <p11-kit/pkcs11.h>

// Attribute types of SM2 keys.
#define CKA_SM2_CURVE_NAME   0x00010001UL  // "ChinaSM2Curve", 13 bytes, no terminator
#define CKA_SM2_X            0x00010002UL  // 32-byte X of the public point
#define CKA_SM2_Y            0x00010003UL  // 32-byte Y of the public point
#define CKA_SM2_D            0x00010004UL  // private scalar; never readable
#define CKA_SM2_BITS_LENGTH  0x00010005UL  // CK_ULONG, always 256

// Key type of SM2 keys (RSA keys use CKK_RSA).
#define CKK_SM2              0x00010001UL

// Mechanisms.
#define CKM_SM2_CRYPT        0x00010001UL  // SM2 encryption and decryption
#define CKM_SM2_SIGN         0x00010002UL  // SM2 over caller-supplied e, no hashing
#define CKM_SM2_RESERVED_3   0x00010003UL  // listed only
#define CKM_SM2_SM3_SIGN     0x00010004UL  // SM2 with SM3 in the module, optionally over Z
#define CKM_SM3              0x00010005UL  // SM3 digest
#define CKM_SM2_RESERVED_6   0x00010006UL  // listed only
#define CKM_SM2_RESERVED_7   0x00010007UL  // listed only
#define CKM_SM2_RESERVED_8   0x00010008UL  // listed only
#define CKM_SM2_KEY_PAIR_GEN 0x00010009UL

// Number of entries of the mechanism list.
#define QYRA_PKCS11_MECHANISM_COUNT 33
