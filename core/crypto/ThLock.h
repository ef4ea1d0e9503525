// The library's lock table. OpenSSL 3 locks its shared tables itself and
// takes no locking callbacks, so there is nothing to register: the two
// functions stay as the set-up and tear-down points and do nothing.
#pragma once

void CRYPTO_thread_setup();
void CRYPTO_thread_cleanup();
