#include "tools/package/OpenSslKey.h"

#include <openssl/bio.h>
#include <openssl/encoder.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

namespace kv::tool {
namespace {

// OpenSSL's most recent reason, after the given context; the error queue is emptied.
std::string OpenSslError(const std::string& context) {
  std::string text = context;
  const unsigned long code = ERR_peek_last_error();
  if (code != 0) {
    char reason[256] = {};
    ERR_error_string_n(code, reason, sizeof reason);
    text += " (";
    text += reason;
    text += ")";
  }
  ERR_clear_error();
  return text;
}

}  // namespace

bool RsaPrivateKey::Load(std::string_view pem, std::string& error) {
  key_.reset();
  OwnedPtr<BIO, BIO_free> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) {
    error = OpenSslError("out of memory");
    return false;
  }
  key_.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (!key_) {
    error = OpenSslError("the key file holds no private key in PEM form");
    return false;
  }
  if (!EVP_PKEY_is_a(key_.get(), "RSA")) {
    key_.reset();
    error = "the private key is not an RSA key";
    return false;
  }
  return true;
}

bool RsaPrivateKey::SignSha512(std::string_view message, std::string& signature,
                               std::string& error) const {
  OwnedPtr<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* key_context = nullptr;  // owned by context
  std::size_t length = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
  if (!context ||
      EVP_DigestSignInit(context.get(), &key_context, EVP_sha512(), nullptr, key_.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(key_context, RSA_PKCS1_PADDING) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, bytes, message.size()) != 1) {
    error = OpenSslError("cannot sign");
    return false;
  }
  signature.assign(length, '\0');
  if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                     bytes, message.size()) != 1) {
    error = OpenSslError("cannot sign");
    return false;
  }
  signature.resize(length);
  return true;
}

bool RsaPrivateKey::PublicKeyPem(std::string& pem, std::string& error) const {
  OwnedPtr<OSSL_ENCODER_CTX, OSSL_ENCODER_CTX_free> encoder(OSSL_ENCODER_CTX_new_for_pkey(
      key_.get(), EVP_PKEY_PUBLIC_KEY, "PEM", "type-specific", nullptr));
  unsigned char* data = nullptr;
  std::size_t length = 0;
  if (!encoder || OSSL_ENCODER_to_data(encoder.get(), &data, &length) != 1) {
    error = OpenSslError("cannot write the public key");
    return false;
  }
  pem.assign(reinterpret_cast<const char*>(data), length);
  OPENSSL_free(data);
  return true;
}

bool Sha512Digest(std::string_view data, std::string& digest, std::string& error) {
  unsigned char bytes[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), bytes, &length, EVP_sha512(), nullptr) != 1) {
    error = OpenSslError("cannot compute SHA-512");
    return false;
  }
  digest.assign(reinterpret_cast<const char*>(bytes), length);
  return true;
}

}  // namespace kv::tool
