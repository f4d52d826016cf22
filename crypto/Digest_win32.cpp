// CNG backend: one bcrypt hash object of the chosen algorithm.
#include <windows.h>
// bcrypt.h needs the types of windows.h.
#include <bcrypt.h>

#include <limits>

#include "crypto/Digest.h"

namespace kv {

struct Digest::State {
  BCRYPT_ALG_HANDLE provider = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = false;
};

namespace {

LPCWSTR AlgorithmName(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::kSha1:
      return BCRYPT_SHA1_ALGORITHM;
    case DigestAlgorithm::kSha256:
      return BCRYPT_SHA256_ALGORITHM;
    case DigestAlgorithm::kSha384:
      return BCRYPT_SHA384_ALGORITHM;
    case DigestAlgorithm::kSha512:
      return BCRYPT_SHA512_ALGORITHM;
  }
  return BCRYPT_SHA256_ALGORITHM;
}

}  // namespace

Digest::Digest(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.ok = BCRYPT_SUCCESS(
             BCryptOpenAlgorithmProvider(&s.provider, AlgorithmName(algorithm), nullptr, 0)) &&
         BCRYPT_SUCCESS(BCryptCreateHash(s.provider, &s.hash, nullptr, 0, nullptr, 0, 0));
}

Digest::~Digest() {
  if (state_->hash != nullptr)
    BCryptDestroyHash(state_->hash);
  if (state_->provider != nullptr)
    BCryptCloseAlgorithmProvider(state_->provider, 0);
}

void Digest::Update(std::string_view bytes) {
  // The API counts in 32 bits: longer pieces go in several calls.
  constexpr std::size_t kLargestPiece = std::numeric_limits<ULONG>::max();
  while (state_->ok && !bytes.empty()) {
    const std::string_view piece = bytes.substr(0, kLargestPiece);
    state_->ok = BCRYPT_SUCCESS(
        BCryptHashData(state_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(piece.data())),
                       static_cast<ULONG>(piece.size()), 0));
    bytes.remove_prefix(piece.size());
  }
}

bool Digest::Finish(std::string& digest) {
  DWORD length = 0;
  ULONG written = 0;
  if (!state_->ok || !BCRYPT_SUCCESS(BCryptGetProperty(state_->hash, BCRYPT_HASH_LENGTH,
                                                       reinterpret_cast<PUCHAR>(&length),
                                                       sizeof length, &written, 0))) {
    return false;
  }
  std::string value(length, '\0');
  state_->ok = false;
  if (!BCRYPT_SUCCESS(
          BCryptFinishHash(state_->hash, reinterpret_cast<PUCHAR>(value.data()), length, 0))) {
    return false;
  }
  digest = std::move(value);
  return true;
}

}  // namespace kv
