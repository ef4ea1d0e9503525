// Result codes of the token core.
//
// Every core operation returns an unsigned 32-bit code, 0 on success.  The
// codes share one number space with PKCS#11: values in the PKCS#11 range use
// the CKR_ names of <p11-kit/pkcs11.h> (the application receives them as
// such), the rest are the core's own and are named here.
#pragma once

#include <cstdint>

#include <p11-kit/pkcs11.h>

typedef uint32_t RESULT;

constexpr RESULT ERROR_NOT_SUPPORTED     = 0x00000032;
constexpr RESULT ERROR_FILE_EXISTS       = 0x00000050;
constexpr RESULT ERROR_INVALID_PARAMETER = 0x00000057;

constexpr RESULT E_FAIL                  = 0x80000008;

constexpr RESULT NTE_BAD_UID             = 0x80090002;
constexpr RESULT NTE_BAD_KEY             = 0x80090003;
constexpr RESULT NTE_BAD_LEN             = 0x80090004;
constexpr RESULT NTE_BAD_DATA            = 0x80090005;
constexpr RESULT NTE_BAD_SIGNATURE       = 0x80090006;
constexpr RESULT NTE_BAD_ALGID           = 0x80090008;
constexpr RESULT NTE_BAD_TYPE            = 0x8009000A;
constexpr RESULT NTE_BAD_HASH_STATE      = 0x8009000C;
constexpr RESULT NTE_NO_MEMORY           = 0x8009000E;
constexpr RESULT NTE_FAIL                = 0x80090020;
constexpr RESULT NTE_NOT_SUPPORTED       = 0x80090029;

constexpr RESULT ASN1_E_DATA_SIZE        = 0xA0071101;
constexpr RESULT ASN1_E_RECURSION        = 0xA0071102;
