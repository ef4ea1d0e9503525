// What a container holds: its names, its algorithm, and which keys and
// certificates are present.
#include "core/storage/Container.h"
#include "core/storage/NewBlock.h"
#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

namespace {

bool HasBytes(const _CRYPTOAPI_BLOB& stBlob)
{
    return stBlob.pbData != nullptr && stBlob.cbData != 0;
}

bool HasAnyItem(const _keyPairInfo& stPair)
{
    return HasBytes(stPair.PrivateKey) || HasBytes(stPair.PublicKey) || HasBytes(stPair.Certificate);
}

bool HasAllItems(const _keyPairInfo& stPair)
{
    return HasBytes(stPair.PrivateKey) && HasBytes(stPair.PublicKey) && HasBytes(stPair.Certificate);
}

RESULT HandOutName(const char* pszFunction, const char* pszName, char** ppszOut)
{
    if (ppszOut == nullptr) {
        TraceStepFailed(pszFunction, "Check parameter", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (pszName[0] == '\0') {
        *ppszOut = nullptr;
        return 0;
    }
    return HandOutText(pszFunction, pszName, ppszOut);
}

}  // namespace

RESULT Container::GetContainerName(char** ppszContainerName)
{
    return HandOutName("Container::GetContainerName", m_szContainerName, ppszContainerName);
}

RESULT Container::GetKeyName(char** ppszKeyName)
{
    return HandOutName("Container::GetKeyName", m_szKeyName, ppszKeyName);
}

bool Container::SetKeySetAlgorithm(uint64_t uAlgorithm)
{
    TRACE(QYRA_LOG_INFO, "Algorithm: %d, Current algorithm: %d", static_cast<int>(uAlgorithm),
          static_cast<int>(m_uAlgrithm));
    if (IsEmptyContainer()) {
        m_uAlgrithm = uAlgorithm;
        return true;
    }
    if (uAlgorithm == 0) {
        return false;
    }
    if (m_uAlgrithm == 0) {
        m_uAlgrithm = uAlgorithm;
        return true;
    }
    return m_uAlgrithm == uAlgorithm;
}

bool Container::IsEmptyContainer()
{
    if (m_bIsDataFile) {
        return !HasBytes(m_stDataValue);
    }
    return !HasAnyItem(m_stSigatureKey) && !HasAnyItem(m_stExchangeKey);
}

bool Container::bIsValid(int nItem, int nKeySpec)
{
    if (m_bIsDataFile) {
        return false;
    }
    const _keyPairInfo* pPair = nullptr;
    if (nKeySpec == AT_SIGNATURE) {
        pPair = &m_stSigatureKey;
    } else if (nKeySpec == AT_KEYEXCHANGE) {
        pPair = &m_stExchangeKey;
    } else {
        return false;
    }
    switch (nItem) {
    case 1: return HasBytes(pPair->Certificate);
    case 2: return HasBytes(pPair->PublicKey);
    case 3: return HasBytes(pPair->PrivateKey);
    default: return false;
    }
}

bool Container::bIsValid(int* pnKind)
{
    if (pnKind == nullptr || m_bIsDataFile || !HasAllItems(m_stExchangeKey)) {
        return false;
    }
    if (!HasAnyItem(m_stSigatureKey)) {
        *pnKind = 0;
        return true;
    }
    if (HasAllItems(m_stSigatureKey)) {
        *pnKind = 1;
        return true;
    }
    return false;
}
