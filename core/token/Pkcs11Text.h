// Fixed-width PKCS#11 text fields: blank-padded, no terminator.
#pragma once

// Fills the nWidth bytes of pbyField with blanks and copies pszText over
// their start.  False, with the field untouched, when the field or text is
// null, the width is not positive or the text is longer than the width.
bool SetPkcs11UTF8Char(unsigned char* pbyField, int nWidth, const char* pszText);
