// The token's object table: opening container entries and releasing the
// objects an entry owns.
//
// The key, certificate, data and secret-key object classes are not part of
// the core yet: until they are, those members of an entry stay null.  Each
// Release* below is where such a kind's delete goes once its class exists;
// a non-null pointer before then is reported, never dereferenced.
#include "core/storage/Container.h"
#include "core/token/TokenHandle.h"
#include "core/trace/QyraLog.h"

namespace {

void ReportUnreleased(const char* pszKind, const void* pObject)
{
    if (pObject != nullptr) {
        TRACE(QYRA_LOG_ERROR, "TokenHandle::ClearContainerObject - no release for %s", pszKind);
    }
}

void ReleaseContainer(Container* pObject) { delete pObject; }
void ReleaseSymKey(SymKeyHandle* pObject) { ReportUnreleased("SymKeyHandle", pObject); }
void ReleaseData(DataHandle* pObject) { ReportUnreleased("DataHandle", pObject); }
void ReleaseCertificate(CertificateHandle* pObject)
{
    ReportUnreleased("CertificateHandle", pObject);
}
void ReleasePublicKey(PublicKeyHandle* pObject) { ReportUnreleased("PublicKeyHandle", pObject); }
void ReleasePrivateKey(PrivateKeyHandle* pObject) { ReportUnreleased("PrivateKeyHandle", pObject); }

}  // namespace

Container* TokenHandle::OpenContainerEntry(const char* pszEntryPath)
{
    Container* pContainer = Container::CreateRegisteredContaierByRealPath(m_szTokenName, pszEntryPath, true);
    if (pContainer != nullptr) {
        pContainer->m_pTokenHandle = this;
    }
    return pContainer;
}

void TokenHandle::ClearContainerObject(_containerObjectInfo& stContainerObject)
{
    ReleaseContainer(stContainerObject.pContainerHandle);
    ReleaseSymKey(stContainerObject.pSymKeyHandle);
    ReleaseData(stContainerObject.pDataHandle);
    ReleaseCertificate(stContainerObject.pSignCertHandle);
    ReleaseCertificate(stContainerObject.pExchangeCertHandle);
    ReleasePublicKey(stContainerObject.pSignPubKeyHandle);
    ReleasePublicKey(stContainerObject.pExchangePubKeyHandle);
    ReleasePrivateKey(stContainerObject.pSignPriKeyHandle);
    ReleasePrivateKey(stContainerObject.pExchangePriKeyHandle);
    stContainerObject = _containerObjectInfo{};
}
