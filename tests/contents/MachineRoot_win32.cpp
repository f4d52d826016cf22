// Test helper: adds the certificates of a PEM file to the machine's store of trusted roots, or
// removes them again, so that a test can show a chain this computer trusts.
// Usage: kv_machine_root add|remove FILE.pem. Exit code 0 when every certificate was handled.
#include <windows.h>
// wincrypt.h needs the types of windows.h.
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "base/Owned.h"

namespace {

void FreeCertificate(PCCERT_CONTEXT certificate) {
  CertFreeCertificateContext(certificate);
}
void CloseStore(HCERTSTORE store) {
  CertCloseStore(store, 0);
}
using CertificatePtr = kv::OwnedPtr<const CERT_CONTEXT, FreeCertificate>;
using StorePtr = kv::OwnedPtr<void, CloseStore>;

constexpr std::string_view kPemBegin = "-----BEGIN CERTIFICATE-----";
constexpr std::string_view kPemEnd = "-----END CERTIFICATE-----";

bool Handle(HCERTSTORE store, const std::string& der, bool add) {
  auto* bytes = reinterpret_cast<const BYTE*>(der.data());
  const DWORD size = static_cast<DWORD>(der.size());
  if (add)
    return CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, bytes, size,
                                            CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != 0;
  const CertificatePtr certificate(CertCreateCertificateContext(X509_ASN_ENCODING, bytes, size));
  if (!certificate)
    return false;
  // The store's own context, which CertDeleteCertificateFromStore frees.
  PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                    certificate.get(), nullptr);
  return found == nullptr || CertDeleteCertificateFromStore(found) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string action = argc == 3 ? argv[1] : "";
  if (action != "add" && action != "remove") {
    std::fputs("usage: kv_machine_root add|remove FILE.pem\n", stderr);
    return 2;
  }
  std::ifstream file(argv[2], std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // The registry store itself: Wine's system store of roots may be a copy, where a removal is lost.
  const StorePtr store(CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
  if (!store) {
    std::fputs("the machine's root store cannot be opened\n", stderr);
    return 1;
  }
  int failed = 0;
  int handled = 0;
  for (std::size_t begin = pem.find(kPemBegin); begin != std::string::npos;
       begin = pem.find(kPemBegin, begin + 1)) {
    const std::size_t end = pem.find(kPemEnd, begin);
    if (end == std::string::npos)
      break;
    const std::string block = pem.substr(begin, end + kPemEnd.size() - begin);
    DWORD size = 0;
    CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                         nullptr, &size, nullptr, nullptr);
    std::string der(size, '\0');
    const bool decoded =
        size != 0 && CryptStringToBinaryA(
                         block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                         reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr);
    if (decoded && Handle(store.get(), der, action == "add"))
      ++handled;
    else
      ++failed;
  }
  if (failed != 0 || handled == 0) {
    std::fprintf(stderr, "%d certificates could not be handled\n", failed);
    return 1;
  }
  return 0;
}
