#!/usr/bin/python3
"""The module through PyKCS11, as a Python signing client loads it: slots,
token info, a read/write session, login with the default PIN, random bytes,
a wrong PIN counted, logout."""
import os
import sys
import tempfile

import PyKCS11


def main(module):
    with tempfile.TemporaryDirectory() as home:
        os.environ["HOME"] = home
        os.environ.pop("XDG_DATA_HOME", None)
        lib = PyKCS11.PyKCS11Lib()
        lib.load(module)
        slots = lib.getSlotList(tokenPresent=True)
        assert slots == [1], slots
        info = lib.getTokenInfo(1)
        assert info.label.strip() == "QYRA P11 V3.0", info.label
        assert info.flags & PyKCS11.CKF_LOGIN_REQUIRED

        session = lib.openSession(1, PyKCS11.CKF_SERIAL_SESSION | PyKCS11.CKF_RW_SESSION)
        try:
            session.login("111111")
            raise AssertionError("a wrong PIN was accepted")
        except PyKCS11.PyKCS11Error as error:
            assert error.value == PyKCS11.CKR_PIN_INCORRECT, error
        session.login("908172")
        random = session.generateRandom(32)
        assert len(random) == 32, len(random)
        assert any(random), "32 zero bytes"
        state = session.getSessionInfo().state
        assert state == PyKCS11.CKS_RW_USER_FUNCTIONS, state
        session.logout()
        session.closeSession()
        print("pykcs11: slots, token info, login, random and logout work")


if __name__ == "__main__":
    main(sys.argv[1])
