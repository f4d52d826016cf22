// An incremental message digest (SHA-1, SHA-256, SHA-384 or SHA-512) from the platform's crypto
// library. Bytes are fed in any number of pieces; Finish gives the digest once. A digest the
// library cannot set up, or a failure on the way, makes Finish return false; nothing throws.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace kv {

enum class DigestAlgorithm { kSha1, kSha256, kSha384, kSha512 };

class Digest {
 public:
  explicit Digest(DigestAlgorithm algorithm);
  ~Digest();
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;

  void Update(std::string_view bytes);
  // The digest of everything fed so far; false when the library failed at any step.
  bool Finish(std::string& digest);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kv
