#include "core/crypto/ThLock.h"

void CRYPTO_thread_setup()
{
}

void CRYPTO_thread_cleanup()
{
}
