// CNG backend: one bcrypt hash object of the chosen algorithm.
#include <windows.h>
// bcrypt.h needs the types of windows.h.
#include <bcrypt.h>

#include <limits>
#include <type_traits>

#include "base/Owned.h"
#include "crypto/Digest.h"
#include "crypto/DigestAlgorithms_win32.h"

namespace kv {

namespace {

void CloseAlgorithm(BCRYPT_ALG_HANDLE handle) {
  BCryptCloseAlgorithmProvider(handle, 0);
}
using AlgorithmPtr = OwnedPtr<std::remove_pointer_t<BCRYPT_ALG_HANDLE>, CloseAlgorithm>;
using HashPtr = OwnedPtr<std::remove_pointer_t<BCRYPT_HASH_HANDLE>, BCryptDestroyHash>;

}  // namespace

// The hash object is destroyed before its provider is closed.
struct Digest::State {
  AlgorithmPtr provider;
  HashPtr hash;
  bool ok = false;
};

Digest::Digest(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
  BCRYPT_ALG_HANDLE provider = nullptr;
  if (!BCRYPT_SUCCESS(
          BCryptOpenAlgorithmProvider(&provider, CngDigestName(algorithm), nullptr, 0))) {
    return;
  }
  state_->provider.reset(provider);
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0)))
    return;
  state_->hash.reset(hash);
  state_->ok = true;
}

Digest::~Digest() = default;

void Digest::Update(std::string_view bytes) {
  // The API counts in 32 bits: longer pieces go in several calls.
  constexpr std::size_t kLargestPiece = std::numeric_limits<ULONG>::max();
  while (state_->ok && !bytes.empty()) {
    const std::string_view piece = bytes.substr(0, kLargestPiece);
    state_->ok = BCRYPT_SUCCESS(BCryptHashData(
        state_->hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(piece.data())),
        static_cast<ULONG>(piece.size()), 0));
    bytes.remove_prefix(piece.size());
  }
}

bool Digest::Finish(std::string& digest) {
  DWORD length = 0;
  ULONG written = 0;
  if (!state_->ok || !BCRYPT_SUCCESS(BCryptGetProperty(state_->hash.get(), BCRYPT_HASH_LENGTH,
                                                       reinterpret_cast<PUCHAR>(&length),
                                                       sizeof length, &written, 0))) {
    return false;
  }
  std::string value(length, '\0');
  state_->ok = false;
  if (!BCRYPT_SUCCESS(BCryptFinishHash(state_->hash.get(), reinterpret_cast<PUCHAR>(value.data()),
                                       length, 0))) {
    return false;
  }
  digest = std::move(value);
  return true;
}

LPCWSTR CngDigestName(DigestAlgorithm algorithm) {
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
  return nullptr;
}

}  // namespace kv
