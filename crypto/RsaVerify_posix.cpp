// OpenSSL 3 backend: the PEM block "RSA PUBLIC KEY" is read and its DER decoded as a PKCS#1
// ("type-specific") RSA public key; EVP_DigestVerify hashes the message with SHA-512 and checks the
// PKCS#1 v1.5 padding and DigestInfo.
#include "crypto/RsaVerify.h"

#include <openssl/bio.h>
#include <openssl/decoder.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "base/Owned.h"

namespace kv {
namespace {

// OPENSSL_free is a macro.
void FreeOpenSslMemory(unsigned char* memory) {
  OPENSSL_free(memory);
}
using KeyPtr = OwnedPtr<EVP_PKEY, EVP_PKEY_free>;

constexpr const char* kPemLabel = "RSA PUBLIC KEY";
// Bigger texts are no key; the bound also keeps the length within the BIO's int count.
constexpr std::size_t kMaxPemLength = 1 << 20;

const unsigned char* Bytes(std::string_view data) {
  return reinterpret_cast<const unsigned char*>(data.data());
}

// A fresh RSA public key from the PEM block "RSA PUBLIC KEY" (PKCS#1 RSAPublicKey), or null.
// Other blocks, "PUBLIC KEY" included, are passed over.
KeyPtr LoadRsaPublicKey(std::string_view pem) {
  OwnedPtr<BIO, BIO_free> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  unsigned char* der = nullptr;
  long der_length = 0;
  if (!bio ||
      PEM_bytes_read_bio(&der, &der_length, nullptr, kPemLabel, bio.get(), nullptr, nullptr) != 1) {
    return nullptr;
  }
  OwnedPtr<unsigned char, FreeOpenSslMemory> owned_der(der);
  EVP_PKEY* raw_key = nullptr;
  OwnedPtr<OSSL_DECODER_CTX, OSSL_DECODER_CTX_free> decoder(OSSL_DECODER_CTX_new_for_pkey(
      &raw_key, "DER", "type-specific", "RSA", EVP_PKEY_PUBLIC_KEY, nullptr, nullptr));
  if (!decoder)
    return nullptr;
  const unsigned char* data = der;
  std::size_t length = static_cast<std::size_t>(der_length);
  const bool decoded = OSSL_DECODER_from_data(decoder.get(), &data, &length) == 1;
  KeyPtr key(raw_key);
  if (!decoded || !key || !EVP_PKEY_is_a(key.get(), "RSA"))
    return nullptr;
  return key;
}

bool Verify(std::string_view message, std::string_view signature, EVP_PKEY* key) {
  OwnedPtr<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
  if (!context)
    return false;
  EVP_PKEY_CTX* key_context = nullptr;  // owned by context
  if (EVP_DigestVerifyInit(context.get(), &key_context, EVP_sha512(), nullptr, key) != 1)
    return false;
  if (EVP_PKEY_CTX_set_rsa_padding(key_context, RSA_PKCS1_PADDING) != 1)
    return false;
  return EVP_DigestVerify(context.get(), Bytes(signature), signature.size(), Bytes(message),
                          message.size()) == 1;
}

}  // namespace

bool VerifyRsaSha512Pkcs1(std::string_view message, std::string_view signature,
                          std::string_view public_key_pem) {
  bool valid = false;
  if (!public_key_pem.empty() && public_key_pem.size() <= kMaxPemLength && !signature.empty()) {
    KeyPtr key = LoadRsaPublicKey(public_key_pem);
    valid = key && Verify(message, signature, key.get());
  }
  // Failures leave entries on the library's per-thread error queue; none concerns later calls.
  ERR_clear_error();
  return valid;
}

}  // namespace kv
