// OpenSSL 3 backend: EVP_DigestVerify with the certificate's key (PSS parameters set on its
// context), and X509_verify_cert against a store of the roots given, at the time given. No chain
// is checked against the system's bundle: its roots are trusted for TLS servers, not code.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "base/Owned.h"
#include "crypto/CertificateCheck.h"
#include "crypto/DigestAlgorithms_posix.h"

namespace kv {
namespace {

using CertificatePtr = OwnedPtr<X509, X509_free>;

// sk_X509_pop_free is a macro.
void FreeCertificateStack(STACK_OF(X509) * stack) {
  sk_X509_pop_free(stack, X509_free);
}

// Bigger texts are no certificate; the bound also keeps lengths within OpenSSL's long and int.
constexpr std::size_t kMaxCertificateSize = 64 * 1024 * 1024;

CertificatePtr ReadCertificate(std::string_view der) {
  if (der.size() > kMaxCertificateSize)
    return nullptr;
  const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
  CertificatePtr certificate(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
  ERR_clear_error();
  return certificate;
}

bool KeyFits(const EVP_PKEY* key, KeySignatureKind kind) {
  const int type = EVP_PKEY_get_base_id(key);
  if (kind == KeySignatureKind::kEcdsa)
    return type == EVP_PKEY_EC;
  return type == EVP_PKEY_RSA || (kind == KeySignatureKind::kRsaPss && type == EVP_PKEY_RSA_PSS);
}

CertificateSignatureResult Verify(X509* certificate, const KeySignatureScheme& scheme,
                                  std::string_view message, std::string_view signature) {
  EVP_PKEY* key = X509_get0_pubkey(certificate);
  if (key == nullptr)
    return CertificateSignatureResult::kKeyUnusable;
  if (!KeyFits(key, scheme.kind)) {
    // An RSA or EC key of the other kind did not make the signature; other keys are not read.
    const int type = EVP_PKEY_get_base_id(key);
    return type == EVP_PKEY_RSA || type == EVP_PKEY_RSA_PSS || type == EVP_PKEY_EC
               ? CertificateSignatureResult::kInvalid
               : CertificateSignatureResult::kKeyUnusable;
  }
  OwnedPtr<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* key_context = nullptr;
  if (!context || EVP_DigestVerifyInit(context.get(), &key_context, OpenSslDigest(scheme.digest),
                                       nullptr, key) != 1) {
    return CertificateSignatureResult::kKeyUnusable;
  }
  if (scheme.kind == KeySignatureKind::kRsaPss &&
      (EVP_PKEY_CTX_set_rsa_padding(key_context, RSA_PKCS1_PSS_PADDING) != 1 ||
       EVP_PKEY_CTX_set_rsa_mgf1_md(key_context, OpenSslDigest(scheme.pss_mgf_digest)) != 1 ||
       EVP_PKEY_CTX_set_rsa_pss_saltlen(key_context, static_cast<int>(scheme.pss_salt_length)) !=
           1)) {
    return CertificateSignatureResult::kKeyUnusable;
  }
  const int verified = EVP_DigestVerify(
      context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
      reinterpret_cast<const unsigned char*>(message.data()), message.size());
  return verified == 1 ? CertificateSignatureResult::kValid : CertificateSignatureResult::kInvalid;
}

}  // namespace

CertificateSignatureResult VerifyCertificateSignature(std::string_view certificate,
                                                      const KeySignatureScheme& scheme,
                                                      std::string_view message,
                                                      std::string_view signature) {
  const CertificatePtr parsed = ReadCertificate(certificate);
  if (!parsed)
    return CertificateSignatureResult::kKeyUnusable;
  const CertificateSignatureResult result = Verify(parsed.get(), scheme, message, signature);
  ERR_clear_error();
  return result;
}

int CountPemCertificates(std::string_view pem) {
  int count = 0;
  if (pem.size() > kMaxCertificateSize)
    return 0;
  OwnedPtr<BIO, BIO_free> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  while (bio && CertificatePtr(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)))
    ++count;
  ERR_clear_error();
  return count;
}

ChainResult CheckCertificateChain(std::string_view certificate,
                                  const std::vector<std::string>& intermediates,
                                  const std::vector<std::string>& roots_pem, std::int64_t at_time,
                                  CertificatePurpose purpose) {
  OwnedPtr<X509_STORE, X509_STORE_free> store(X509_STORE_new());
  OwnedPtr<STACK_OF(X509), FreeCertificateStack> others(sk_X509_new_null());
  OwnedPtr<X509_STORE_CTX, X509_STORE_CTX_free> context(X509_STORE_CTX_new());
  const CertificatePtr leaf = ReadCertificate(certificate);
  if (!store || !others || !context)
    return {false, "the crypto library failed"};
  if (!leaf)
    return {false, "the certificate cannot be read"};
  int roots = 0;
  for (const std::string& pem : roots_pem) {
    if (pem.size() > kMaxCertificateSize)
      continue;
    OwnedPtr<BIO, BIO_free> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    while (bio) {
      const CertificatePtr root(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
      if (!root)
        break;
      roots += X509_STORE_add_cert(store.get(), root.get()) == 1 ? 1 : 0;
    }
  }
  ERR_clear_error();
  if (roots == 0)
    return {false, "no root certificate could be read from the roots given"};
  for (const std::string& der : intermediates) {
    CertificatePtr other = ReadCertificate(der);
    if (other && sk_X509_push(others.get(), other.get()) > 0)
      other.release();
  }
  if (X509_STORE_CTX_init(context.get(), store.get(), leaf.get(), others.get()) != 1)
    return {false, "the crypto library failed"};
  X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(context.get()),
                             static_cast<time_t>(at_time));
  const bool verified = X509_verify_cert(context.get()) == 1;
  const int error = X509_STORE_CTX_get_error(context.get());
  ERR_clear_error();
  if (!verified)
    return {false, std::string("not trusted: ") + X509_verify_cert_error_string(error)};
  const std::uint32_t usage = X509_get_extended_key_usage(leaf.get());
  const bool allowed = purpose == CertificatePurpose::kCodeSigning ? (usage & XKU_CODE_SIGN) != 0
                                                                   : (usage & XKU_TIMESTAMP) != 0;
  if (!allowed) {
    return {false, purpose == CertificatePurpose::kCodeSigning
                       ? "not trusted: the certificate is not for code signing"
                       : "not trusted: the certificate is not for time stamping"};
  }
  const int length = sk_X509_num(X509_STORE_CTX_get0_chain(context.get()));
  return {true, "trusted: a chain of " + std::to_string(length) + " certificates to a root given"};
}

ChainResult CheckCertificateChainToSystemStore(std::string_view, const std::vector<std::string>&,
                                               std::int64_t, CertificatePurpose) {
  return {false, "not checked: no roots named", false};
}

}  // namespace kv
