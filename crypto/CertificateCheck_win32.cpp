// CNG and crypt32 backend: the certificate's public key imported into CNG
// (CryptImportPublicKeyInfoEx2) and the message hashed and verified with bcrypt (an ECDSA
// signature turned from DER into r and s first); the chain built by CertGetCertificateChain at
// the time given, with the signature's certificates and the roots offered as extra stores, and
// accepted only when it ends in one of the roots given; or, without roots, built by the default
// chain engine for the purpose's usage and judged by the base chain policy against the machine's
// store. Neither checks revocation nor fetches anything from the network.
#include <windows.h>
// bcrypt.h and wincrypt.h need the types of windows.h.
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "base/Owned.h"
#include "crypto/CertificateCheck.h"
#include "crypto/DigestAlgorithms_win32.h"

namespace kv {
namespace {

constexpr std::string_view kPemBegin = "-----BEGIN CERTIFICATE-----";
constexpr std::string_view kPemEnd = "-----END CERTIFICATE-----";
// Bigger texts are no certificate; the bound also keeps lengths within the API's 32-bit counts.
constexpr std::size_t kMaxCertificateSize = 64 * 1024 * 1024;
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// FILETIME counts 100-nanosecond steps since 1601-01-01.
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr std::int64_t kFileTimeStepsPerSecond = 10000000;
// Chain errors that say nothing here: no revocation check is made; and against roots the caller
// names, that the root is not one the system trusts.
constexpr DWORD kRevocationChainErrors =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
constexpr DWORD kIgnoredChainErrors = CERT_TRUST_IS_UNTRUSTED_ROOT | kRevocationChainErrors;

void FreeCertificate(PCCERT_CONTEXT certificate) {
  CertFreeCertificateContext(certificate);
}
void CloseStore(HCERTSTORE store) {
  CertCloseStore(store, 0);
}
using CertificatePtr = OwnedPtr<const CERT_CONTEXT, FreeCertificate>;
using StorePtr = OwnedPtr<void, CloseStore>;
using ChainPtr = OwnedPtr<const CERT_CHAIN_CONTEXT, CertFreeCertificateChain>;
using KeyPtr = OwnedPtr<std::remove_pointer_t<BCRYPT_KEY_HANDLE>, BCryptDestroyKey>;

BYTE* Bytes(std::string_view data) {
  return reinterpret_cast<BYTE*>(const_cast<char*>(data.data()));
}

CertificatePtr ReadCertificate(std::string_view der) {
  if (der.empty() || der.size() > kMaxCertificateSize)
    return nullptr;
  return CertificatePtr(
      CertCreateCertificateContext(kEncoding, Bytes(der), static_cast<DWORD>(der.size())));
}

// CNG takes an ECDSA signature as r and s, big-endian, each as long as a coordinate of the key
// (half of its uncompressed point 04 || X || Y); a signature holds them as DER integers, which
// crypt32 decodes little-endian.
bool EcdsaSignature(std::string_view der, const CRYPT_BIT_BLOB& point, std::string& raw) {
  if (point.cbData < 3 || point.pbData[0] != 0x04)
    return false;
  void* decoded = nullptr;
  DWORD decoded_size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ECC_SIGNATURE, Bytes(der),
                           static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr,
                           &decoded, &decoded_size)) {
    return false;
  }
  OwnedPtr<void, LocalFree> owned(decoded);
  const auto* signature = static_cast<const CERT_ECC_SIGNATURE*>(decoded);
  const std::size_t half = (point.cbData - 1) / 2;
  raw.assign(2 * half, '\0');
  for (const auto& [part, at] :
       {std::pair{&signature->r, std::size_t{0}}, std::pair{&signature->s, half}}) {
    std::size_t length = part->cbData;
    while (length > half && part->pbData[length - 1] == 0)
      --length;  // a DER integer may carry a leading zero byte
    if (length > half)
      return false;
    for (std::size_t i = 0; i < length; ++i)
      raw[at + half - 1 - i] = static_cast<char>(part->pbData[i]);
  }
  return true;
}

CertificateSignatureResult Verify(PCCERT_CONTEXT certificate, const KeySignatureScheme& scheme,
                                  std::string_view message, std::string_view signature) {
  CERT_PUBLIC_KEY_INFO& info = certificate->pCertInfo->SubjectPublicKeyInfo;
  const bool ec = std::strcmp(info.Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) == 0;
  const bool rsa = std::strcmp(info.Algorithm.pszObjId, szOID_RSA_RSA) == 0;
  if ((scheme.kind == KeySignatureKind::kEcdsa && rsa) ||
      (scheme.kind != KeySignatureKind::kEcdsa && ec)) {
    return CertificateSignatureResult::kInvalid;  // a key of the other kind did not make it
  }
  if ((scheme.kind == KeySignatureKind::kEcdsa && !ec) ||
      (scheme.kind != KeySignatureKind::kEcdsa && !rsa) ||
      (scheme.kind == KeySignatureKind::kRsaPss && scheme.pss_mgf_digest != scheme.digest)) {
    return CertificateSignatureResult::kKeyUnusable;  // CNG's PSS hashes the mask with the digest
  }
  BCRYPT_KEY_HANDLE raw_key = nullptr;
  if (!CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, &info, 0, nullptr, &raw_key))
    return CertificateSignatureResult::kKeyUnusable;
  const KeyPtr key(raw_key);
  Digest hasher(scheme.digest);
  hasher.Update(message);
  std::string digest;
  if (!hasher.Finish(digest))
    return CertificateSignatureResult::kKeyUnusable;
  BCRYPT_PKCS1_PADDING_INFO pkcs1{CngDigestName(scheme.digest)};
  BCRYPT_PSS_PADDING_INFO pss{CngDigestName(scheme.digest), scheme.pss_salt_length};
  void* padding = nullptr;
  ULONG flags = 0;
  std::string value(signature);
  if (scheme.kind == KeySignatureKind::kEcdsa) {
    if (!EcdsaSignature(signature, info.PublicKey, value))
      return CertificateSignatureResult::kInvalid;
  } else if (scheme.kind == KeySignatureKind::kRsaPss) {
    padding = &pss;
    flags = BCRYPT_PAD_PSS;
  } else {
    padding = &pkcs1;
    flags = BCRYPT_PAD_PKCS1;
  }
  const NTSTATUS status =
      BCryptVerifySignature(key.get(), padding, Bytes(digest), static_cast<ULONG>(digest.size()),
                            Bytes(value), static_cast<ULONG>(value.size()), flags);
  if (BCRYPT_SUCCESS(status))
    return CertificateSignatureResult::kValid;
  return status == static_cast<NTSTATUS>(0xC000A000L)  // STATUS_INVALID_SIGNATURE
             ? CertificateSignatureResult::kInvalid
             : CertificateSignatureResult::kKeyUnusable;
}

// Adds every "CERTIFICATE" PEM block of pem to store; the number added.
int AddPemCertificates(std::string_view pem, HCERTSTORE store) {
  int added = 0;
  for (std::size_t begin = pem.find(kPemBegin); begin != std::string_view::npos;
       begin = pem.find(kPemBegin, begin + 1)) {
    const std::size_t end = pem.find(kPemEnd, begin);
    if (end == std::string_view::npos)
      break;
    const std::string_view block = pem.substr(begin, end + kPemEnd.size() - begin);
    DWORD size = 0;
    const DWORD length = static_cast<DWORD>(block.size());
    if (!CryptStringToBinaryA(block.data(), length, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr)) {
      continue;
    }
    std::string der(size, '\0');
    if (CryptStringToBinaryA(block.data(), length, CRYPT_STRING_BASE64HEADER, Bytes(der), &size,
                             nullptr, nullptr) &&
        CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, Bytes(der), size,
                                         CERT_STORE_ADD_ALWAYS, nullptr)) {
      ++added;
    }
  }
  return added;
}

bool AllowedFor(PCCERT_CONTEXT certificate, CertificatePurpose purpose) {
  const char* wanted = purpose == CertificatePurpose::kCodeSigning
                           ? szOID_PKIX_KP_CODE_SIGNING
                           : szOID_PKIX_KP_TIMESTAMP_SIGNING;
  DWORD size = 0;
  if (!CertGetEnhancedKeyUsage(certificate, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, nullptr, &size))
    return true;  // no extended key usage: every purpose
  std::string buffer(size, '\0');
  auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
  if (!CertGetEnhancedKeyUsage(certificate, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, usage, &size))
    return false;
  for (DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
    if (std::strcmp(usage->rgpszUsageIdentifier[i], wanted) == 0)
      return true;
  }
  return false;
}

const char* NotAllowedText(CertificatePurpose purpose) {
  return purpose == CertificatePurpose::kCodeSigning
             ? "not trusted: the certificate is not for code signing"
             : "not trusted: the certificate is not for time stamping";
}

void AddCertificates(const std::vector<std::string>& certificates, HCERTSTORE store) {
  for (const std::string& der : certificates) {
    if (!der.empty() && der.size() <= kMaxCertificateSize)
      CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, Bytes(der),
                                       static_cast<DWORD>(der.size()), CERT_STORE_ADD_ALWAYS,
                                       nullptr);
  }
}

// The chain of leaf built by the default chain engine (the machine's stores, others offered
// beside them) with every certificate checked at at_time (seconds since 1970 UTC); usage, when
// given, is the extended key usage asked of it. Revocation is not checked, and only what is cached
// is retrieved (no network): the answer does not depend on the machine being online.
ChainPtr BuildChain(PCCERT_CONTEXT leaf, HCERTSTORE others, std::int64_t at_time,
                    const char* usage) {
  const std::uint64_t steps =
      static_cast<std::uint64_t>(at_time + kSecondsFrom1601To1970) * kFileTimeStepsPerSecond;
  FILETIME when{static_cast<DWORD>(steps & 0xFFFFFFFF), static_cast<DWORD>(steps >> 32)};
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  LPSTR usages[] = {const_cast<LPSTR>(usage)};
  if (usage != nullptr) {
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  }
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!CertGetCertificateChain(
          nullptr, leaf, &when, others, &parameters,
          CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL | CERT_CHAIN_DISABLE_AUTH_ROOT_AUTO_UPDATE, nullptr,
          &chain)) {
    return nullptr;
  }
  return ChainPtr(chain);
}

}  // namespace

CertificateSignatureResult VerifyCertificateSignature(std::string_view certificate,
                                                      const KeySignatureScheme& scheme,
                                                      std::string_view message,
                                                      std::string_view signature) {
  const CertificatePtr parsed = ReadCertificate(certificate);
  if (!parsed || signature.size() > kMaxCertificateSize)
    return CertificateSignatureResult::kKeyUnusable;
  return Verify(parsed.get(), scheme, message, signature);
}

int CountPemCertificates(std::string_view pem) {
  const StorePtr store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  return store && pem.size() <= kMaxCertificateSize ? AddPemCertificates(pem, store.get()) : 0;
}

ChainResult CheckCertificateChain(std::string_view certificate,
                                  const std::vector<std::string>& intermediates,
                                  const std::vector<std::string>& roots_pem, std::int64_t at_time,
                                  CertificatePurpose purpose) {
  const StorePtr roots(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  const StorePtr others(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  if (!roots || !others)
    return {false, "the system's certificate functions failed"};
  const CertificatePtr leaf = ReadCertificate(certificate);
  if (!leaf)
    return {false, "the certificate cannot be read"};
  int root_count = 0;
  for (const std::string& pem : roots_pem) {
    if (pem.size() <= kMaxCertificateSize) {
      root_count += AddPemCertificates(pem, roots.get());
      AddPemCertificates(pem, others.get());
    }
  }
  if (root_count == 0)
    return {false, "no root certificate could be read from the roots given"};
  AddCertificates(intermediates, others.get());
  const ChainPtr chain = BuildChain(leaf.get(), others.get(), at_time, nullptr);
  if (!chain)
    return {false, "the system could not build the chain"};
  const DWORD errors = chain->TrustStatus.dwErrorStatus & ~kIgnoredChainErrors;
  if (chain->cChain == 0 || chain->rgpChain[0]->cElement == 0)
    return {false, "not trusted: no chain"};
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  const PCCERT_CONTEXT top = simple->rgpElement[simple->cElement - 1]->pCertContext;
  const CertificatePtr given_root(
      CertFindCertificateInStore(roots.get(), kEncoding, 0, CERT_FIND_EXISTING, top, nullptr));
  if ((errors & CERT_TRUST_IS_NOT_TIME_VALID) != 0)
    return {false, "not trusted: a certificate is not valid at that time"};
  if ((errors & CERT_TRUST_IS_NOT_SIGNATURE_VALID) != 0)
    return {false, "not trusted: a certificate's signature does not hold"};
  if (errors != 0 || !given_root)
    return {false, "not trusted: no chain to a root given"};
  if (!AllowedFor(leaf.get(), purpose))
    return {false, NotAllowedText(purpose)};
  return {true, "trusted: a chain of " + std::to_string(simple->cElement) +
                    " certificates to a root given"};
}

ChainResult CheckCertificateChainToSystemStore(std::string_view certificate,
                                               const std::vector<std::string>& intermediates,
                                               std::int64_t at_time, CertificatePurpose purpose) {
  const StorePtr others(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  if (!others)
    return {false, "the system's certificate functions failed"};
  const CertificatePtr leaf = ReadCertificate(certificate);
  if (!leaf)
    return {false, "the certificate cannot be read"};
  AddCertificates(intermediates, others.get());
  const ChainPtr chain =
      BuildChain(leaf.get(), others.get(), at_time,
                 purpose == CertificatePurpose::kCodeSigning ? szOID_PKIX_KP_CODE_SIGNING
                                                             : szOID_PKIX_KP_TIMESTAMP_SIGNING);
  if (!chain)
    return {false, "the system could not build the chain"};
  if (chain->cChain == 0 || chain->rgpChain[0]->cElement == 0)
    return {false, "not trusted: no chain"};
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_BASE, chain.get(), &policy, &status))
    return {false, "the system could not judge the chain"};
  switch (static_cast<DWORD>(status.dwError)) {
    case 0:
      break;
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
      return {false, "not trusted: no chain to a root this computer trusts"};
    case static_cast<DWORD>(CERT_E_EXPIRED):
      return {false, "not trusted: a certificate is not valid at that time"};
    case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
      return {false, "not trusted: a certificate's signature does not hold"};
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
      return {false, NotAllowedText(purpose)};
    default:
      return {false, "not trusted: this computer's chain policy refuses it (error " +
                         std::to_string(status.dwError) + ")"};
  }
  // Some chain engines pass a chain that ends below any root (its issuer not found) or leave
  // errors to the caller: the leaf's own usage decides too, and the chain must end in a
  // self-signed root with no error.
  if (!AllowedFor(leaf.get(), purpose))
    return {false, NotAllowedText(purpose)};
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  const CERT_CHAIN_ELEMENT* top = simple->rgpElement[simple->cElement - 1];
  const DWORD errors = chain->TrustStatus.dwErrorStatus & ~kRevocationChainErrors;
  if ((errors & CERT_TRUST_IS_NOT_TIME_VALID) != 0)
    return {false, "not trusted: a certificate is not valid at that time"};
  if (errors != 0 || (top->TrustStatus.dwInfoStatus & CERT_TRUST_IS_SELF_SIGNED) == 0)
    return {false, "not trusted: no chain to a root this computer trusts"};
  return {true, "trusted: a chain of " + std::to_string(simple->cElement) +
                    " certificates to a root this computer trusts"};
}

}  // namespace kv
