#include "tools/reservearea/AreaCertificate.h"

#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "base/Owned.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr long kValidityDays = 36500;
constexpr int kSerialBits = 63;
constexpr char kSubjectName[] = "Configuration data area";
// The marker is the DER of the object identifier followed by the OCTET STRING tag.
constexpr std::size_t kOidDerLength = kConfigAreaMarkerLength - 1;

using KeyPtr = OwnedPtr<EVP_PKEY, EVP_PKEY_free>;
using CertPtr = OwnedPtr<X509, X509_free>;
using ObjectPtr = OwnedPtr<ASN1_OBJECT, ASN1_OBJECT_free>;
using OctetsPtr = OwnedPtr<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free>;
using ExtensionPtr = OwnedPtr<X509_EXTENSION, X509_EXTENSION_free>;
using BignumPtr = OwnedPtr<BIGNUM, BN_free>;

bool Fail(const std::string& step, std::string& error) {
  error = "OpenSSL failed to " + step;
  const unsigned long code = ERR_get_error();
  if (code != 0) {
    char text[256];
    ERR_error_string_n(code, text, sizeof(text));
    error += std::string(": ") + text;
  }
  ERR_clear_error();
  return false;
}

// The data area object identifier, taken from the marker the readers search for so that the
// two can never disagree.
ObjectPtr AreaObjectIdentifier() {
  const std::string der = HexToBytes(kConfigAreaMarkerHex).substr(0, kOidDerLength);
  const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.data());
  return ObjectPtr(d2i_ASN1_OBJECT(nullptr, &cursor, static_cast<long>(der.size())));
}

bool SetIdentity(X509* cert, std::string& error) {
  BignumPtr serial(BN_new());
  if (!serial || !BN_rand(serial.get(), kSerialBits, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
      !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert)))
    return Fail("make a serial number", error);
  X509_NAME* name = X509_get_subject_name(cert);
  if (!X509_set_version(cert, 2) ||
      !X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                  reinterpret_cast<const unsigned char*>(kSubjectName), -1, -1,
                                  0) ||
      !X509_set_issuer_name(cert, name) || !X509_gmtime_adj(X509_getm_notBefore(cert), 0) ||
      !X509_time_adj_ex(X509_getm_notAfter(cert), kValidityDays, 0, nullptr))
    return Fail("fill in the certificate", error);
  return true;
}

bool AddAreaExtension(X509* cert, std::uint32_t area_size, std::string& error) {
  const ObjectPtr oid = AreaObjectIdentifier();
  if (!oid)
    return Fail("decode the data area object identifier", error);
  const std::string zeros(area_size, '\0');
  OctetsPtr value(ASN1_OCTET_STRING_new());
  if (!value ||
      !ASN1_OCTET_STRING_set(value.get(), reinterpret_cast<const unsigned char*>(zeros.data()),
                             static_cast<int>(zeros.size())))
    return Fail("make the area's OCTET STRING", error);
  ExtensionPtr extension(X509_EXTENSION_create_by_OBJ(nullptr, oid.get(), 0, value.get()));
  if (!extension || !X509_add_ext(cert, extension.get(), -1))
    return Fail("add the area extension", error);
  return true;
}

}  // namespace

bool MakeAreaCertificate(std::uint32_t area_size, std::string& certificate, std::string& error) {
  KeyPtr key(EVP_EC_gen("P-256"));
  if (!key)
    return Fail("make a key", error);
  CertPtr cert(X509_new());
  if (!cert)
    return Fail("make a certificate", error);
  if (!SetIdentity(cert.get(), error) || !AddAreaExtension(cert.get(), area_size, error))
    return false;
  if (!X509_set_pubkey(cert.get(), key.get()) || !X509_sign(cert.get(), key.get(), EVP_sha256()))
    return Fail("sign the certificate", error);
  const int length = i2d_X509(cert.get(), nullptr);
  if (length <= 0)
    return Fail("encode the certificate", error);
  certificate.assign(static_cast<std::size_t>(length), '\0');
  unsigned char* out = reinterpret_cast<unsigned char*>(certificate.data());
  if (i2d_X509(cert.get(), &out) != length)
    return Fail("encode the certificate", error);
  return true;
}

}  // namespace kv
