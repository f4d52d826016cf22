// CNG backend: crypt32 decodes the PEM block and the PKCS#1 RSAPublicKey DER into a CNG key
// blob, bcrypt hashes the message with SHA-512 and verifies the signature with PKCS#1 v1.5
// padding, which includes the SHA-512 DigestInfo check.
#include "crypto/RsaVerify.h"

#include <windows.h>
// bcrypt.h and wincrypt.h need the types of windows.h.
#include <bcrypt.h>
#include <wincrypt.h>

#include <limits>
#include <string>
#include <type_traits>

#include "base/Owned.h"

namespace kv {
namespace {

constexpr std::string_view kPemBegin = "-----BEGIN RSA PUBLIC KEY-----";
constexpr std::string_view kPemEnd = "-----END RSA PUBLIC KEY-----";
constexpr ULONG kSha512Length = 64;
// Bigger texts are no key; the bound also keeps lengths within the API's 32-bit counts.
constexpr std::size_t kMaxPemLength = 1 << 20;

void CloseAlgorithm(BCRYPT_ALG_HANDLE handle) {
  BCryptCloseAlgorithmProvider(handle, 0);
}
using AlgorithmPtr = OwnedPtr<std::remove_pointer_t<BCRYPT_ALG_HANDLE>, CloseAlgorithm>;
using KeyPtr = OwnedPtr<std::remove_pointer_t<BCRYPT_KEY_HANDLE>, BCryptDestroyKey>;
using HashPtr = OwnedPtr<std::remove_pointer_t<BCRYPT_HASH_HANDLE>, BCryptDestroyHash>;

PUCHAR Bytes(std::string_view data) {
  return reinterpret_cast<PUCHAR>(const_cast<char*>(data.data()));
}

AlgorithmPtr OpenAlgorithm(LPCWSTR name) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0)))
    return nullptr;
  return AlgorithmPtr(handle);
}

// The DER bytes of the PEM block "RSA PUBLIC KEY"; other blocks, "PUBLIC KEY" included, are
// passed over.
bool DecodePem(std::string_view pem, std::string& der) {
  const std::size_t begin = pem.find(kPemBegin);
  if (begin == std::string_view::npos)
    return false;
  const std::size_t end = pem.find("-----END ", begin);
  if (end == std::string_view::npos || pem.substr(end, kPemEnd.size()) != kPemEnd)
    return false;
  const std::string_view block = pem.substr(begin, end + kPemEnd.size() - begin);
  DWORD size = 0;
  const DWORD length = static_cast<DWORD>(block.size());
  if (!CryptStringToBinaryA(block.data(), length, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                            nullptr, nullptr)) {
    return false;
  }
  der.assign(size, '\0');
  if (!CryptStringToBinaryA(block.data(), length, CRYPT_STRING_BASE64HEADER, Bytes(der), &size,
                            nullptr, nullptr)) {
    return false;
  }
  der.resize(size);
  return !der.empty();
}

// Imports a PKCS#1 RSAPublicKey; modulus_length receives the modulus size in bytes.
KeyPtr ImportPublicKey(BCRYPT_ALG_HANDLE rsa, const std::string& der, ULONG& modulus_length) {
  void* blob = nullptr;
  DWORD blob_size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, CNG_RSA_PUBLIC_KEY_BLOB, Bytes(der),
                           static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &blob,
                           &blob_size)) {
    return nullptr;
  }
  OwnedPtr<void, LocalFree> owned_blob(blob);
  if (blob_size < sizeof(BCRYPT_RSAKEY_BLOB))
    return nullptr;
  modulus_length = static_cast<const BCRYPT_RSAKEY_BLOB*>(blob)->cbModulus;
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!BCRYPT_SUCCESS(BCryptImportKeyPair(rsa, nullptr, BCRYPT_RSAPUBLIC_BLOB, &key,
                                          static_cast<PUCHAR>(blob), blob_size, 0))) {
    return nullptr;
  }
  return KeyPtr(key);
}

bool Sha512(std::string_view message, std::string& digest) {
  AlgorithmPtr sha512 = OpenAlgorithm(BCRYPT_SHA512_ALGORITHM);
  if (!sha512)
    return false;
  BCRYPT_HASH_HANDLE raw_hash = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(sha512.get(), &raw_hash, nullptr, 0, nullptr, 0, 0)))
    return false;
  HashPtr hash(raw_hash);
  constexpr std::size_t kChunk = std::numeric_limits<ULONG>::max();
  for (std::size_t done = 0; done < message.size();) {
    const std::string_view piece = message.substr(done, kChunk);
    if (!BCRYPT_SUCCESS(
            BCryptHashData(hash.get(), Bytes(piece), static_cast<ULONG>(piece.size()), 0)))
      return false;
    done += piece.size();
  }
  digest.assign(kSha512Length, '\0');
  return BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), Bytes(digest), kSha512Length, 0));
}

}  // namespace

bool VerifyRsaSha512Pkcs1(std::string_view message, std::string_view signature,
                          std::string_view public_key_pem) {
  if (public_key_pem.empty() || public_key_pem.size() > kMaxPemLength || signature.empty())
    return false;
  std::string der;
  if (!DecodePem(public_key_pem, der))
    return false;
  AlgorithmPtr rsa = OpenAlgorithm(BCRYPT_RSA_ALGORITHM);
  if (!rsa)
    return false;
  ULONG modulus_length = 0;
  KeyPtr key = ImportPublicKey(rsa.get(), der, modulus_length);
  // A signature is exactly as long as the modulus (RFC 8017, 8.2.2 step 1).
  if (!key || signature.size() != modulus_length)
    return false;
  std::string digest;
  if (!Sha512(message, digest))
    return false;
  BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA512_ALGORITHM};
  return BCRYPT_SUCCESS(
      BCryptVerifySignature(key.get(), &padding, Bytes(digest), kSha512Length, Bytes(signature),
                            static_cast<ULONG>(signature.size()), BCRYPT_PAD_PKCS1));
}

}  // namespace kv
