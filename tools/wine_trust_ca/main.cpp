// kestrune-trust-ca: adds a DER certificate to the current user's ROOT
// store, so that WinINet in a test Wine prefix trusts the test CA.
// Usage: kestrune-trust-ca.exe CERT.der

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestrune-trust-ca CERT.der\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<unsigned char> der((std::istreambuf_iterator<char>(file)),
                                       std::istreambuf_iterator<char>());
  if (der.empty()) {
    std::fprintf(stderr, "kestrune-trust-ca: cannot read the certificate\n");
    return 1;
  }
  HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
  if (store == nullptr) {
    std::fprintf(stderr, "kestrune-trust-ca: CertOpenSystemStoreW failed (%lu)\n", GetLastError());
    return 1;
  }
  const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                      static_cast<DWORD>(der.size()),
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  const DWORD error = GetLastError();
  CertCloseStore(store, 0);
  if (!added) {
    std::fprintf(stderr, "kestrune-trust-ca: adding failed (%lu)\n", error);
    return 1;
  }
  std::printf("trusted\n");
  return 0;
}
