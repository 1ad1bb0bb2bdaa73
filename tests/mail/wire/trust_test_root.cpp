// trust_test_root add|remove <certificate.der (Linux path)>
// Adds the test certificate authority to, or removes it from, the current user's trusted
// roots of this Wine prefix. The registry-backed store is opened directly and committed:
// an addition through the ordinary system store does not persist under Wine.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/wine_test_support.h"

int main(int argc, char **argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "add") != 0 && std::strcmp(argv[1], "remove") != 0)) {
        std::fprintf(stderr, "usage: trust_test_root add|remove CERT.der\n");
        return 2;
    }
    const bool add = std::strcmp(argv[1], "add") == 0;
    std::string der = quillon::test::ReadWholeFile(quillon::test::WindowsPathOf(argv[2]));
    if (der.empty()) {
        std::fprintf(stderr, "trust_test_root: cannot read %s\n", argv[2]);
        return add ? 1 : 0;   // nothing to remove is not a failure
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (store == nullptr) {
        std::fprintf(stderr, "trust_test_root: cannot open Root (%lu)\n", GetLastError());
        return 1;
    }
    PCCERT_CONTEXT added = nullptr;
    BOOL ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE *>(der.data()),
                                               static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING, &added);
    if (ok && !add) {
        ok = CertDeleteCertificateFromStore(added);   // frees the context
        added = nullptr;
    }
    if (added != nullptr)
        CertFreeCertificateContext(added);
    if (ok)
        ok = CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    if (!ok)
        std::fprintf(stderr, "trust_test_root: %s failed (%lu)\n", argv[1], GetLastError());
    CertCloseStore(store, 0);
    return ok ? 0 : 1;
}
