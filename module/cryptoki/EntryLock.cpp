#include "module/cryptoki/EntryLock.h"

#include <mutex>

namespace {
std::recursive_mutex& EntryMutex()
{
    // Made on first use, so a call during another library's static
    // initialisation still finds it; never destroyed, as a host may call
    // the module from its own static destructors.
    static std::recursive_mutex* s_pMutex = new std::recursive_mutex;
    return *s_pMutex;
}
}  // namespace

EntryLock::EntryLock() { EntryMutex().lock(); }

EntryLock::~EntryLock() { EntryMutex().unlock(); }
