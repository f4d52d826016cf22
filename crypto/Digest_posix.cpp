// OpenSSL backend: one EVP digest context.
#include <openssl/evp.h>

#include "base/Owned.h"
#include "crypto/Digest.h"
#include "crypto/DigestAlgorithms_posix.h"

namespace kv {

struct Digest::State {
  OwnedPtr<EVP_MD_CTX, EVP_MD_CTX_free> context;
  bool ok = false;
};

Digest::Digest(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
  state_->context.reset(EVP_MD_CTX_new());
  state_->ok = state_->context != nullptr &&
               EVP_DigestInit_ex(state_->context.get(), OpenSslDigest(algorithm), nullptr) == 1;
}

Digest::~Digest() = default;

void Digest::Update(std::string_view bytes) {
  if (state_->ok && !bytes.empty())
    state_->ok = EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) == 1;
}

bool Digest::Finish(std::string& digest) {
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!state_->ok || EVP_DigestFinal_ex(state_->context.get(), value, &length) != 1)
    return false;
  state_->ok = false;
  digest.assign(reinterpret_cast<const char*>(value), length);
  return true;
}

const EVP_MD* OpenSslDigest(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::kSha1:
      return EVP_sha1();
    case DigestAlgorithm::kSha256:
      return EVP_sha256();
    case DigestAlgorithm::kSha384:
      return EVP_sha384();
    case DigestAlgorithm::kSha512:
      return EVP_sha512();
  }
  return nullptr;
}

}  // namespace kv
