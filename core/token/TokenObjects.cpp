// The token's object table: opening container entries and releasing the
// objects an entry owns.
//
// The container and key object classes are not part of the core yet: until
// they are, no entry can be loaded and every member of an entry is null.
// Each Release* below is where an object kind's delete goes once its class
// exists; a non-null pointer before then is reported, never dereferenced.
#include "core/token/TokenHandle.h"
#include "core/trace/QyraLog.h"

namespace {

void ReportUnreleased(const char* pszKind, const void* pObject)
{
    if (pObject != nullptr) {
        TRACE(QYRA_LOG_ERROR, "TokenHandle::ClearContainerObject - no release for %s", pszKind);
    }
}

void ReleaseContainer(Container* pObject) { ReportUnreleased("Container", pObject); }
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
    // Container::CreateRegisteredContaierByRealPath(m_szTokenName,
    // pszEntryPath, true) with this token as the container's token, once
    // containers exist.
    (void)pszEntryPath;
    return nullptr;
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
