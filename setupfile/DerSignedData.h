// The one home of DER: elements read with every length checked against the bytes around them,
// and just enough writing to add one certificate to the certificate set of a PKCS#7 SignedData
// signature (an Authenticode signature blob), the lengths of every enclosing structure rewritten.
// Only definite lengths are accepted. Failures return false with a reason in error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// Tag bytes of the DER elements that signatures are made of.
constexpr std::uint8_t kTagInteger = 0x02;
constexpr std::uint8_t kTagOctetString = 0x04;
constexpr std::uint8_t kTagOid = 0x06;
constexpr std::uint8_t kTagUtcTime = 0x17;
constexpr std::uint8_t kTagGeneralizedTime = 0x18;
constexpr std::uint8_t kTagBmpString = 0x1E;
constexpr std::uint8_t kTagSequence = 0x30;
constexpr std::uint8_t kTagSet = 0x31;
constexpr std::uint8_t kTagContext0 = 0xA0;  // [0] constructed: content, certificates
constexpr std::uint8_t kTagContext1 = 0xA1;  // [1] constructed: crls

// Fields of a PKCS#7 SignedData by their place.
constexpr std::size_t kEncapsulatedContentField = 2;
constexpr std::size_t kCertificatesField = 3;  // the first optional field

// One DER element: its tag byte, where its content starts and how long the content is.
struct DerElement {
  std::uint8_t tag = 0;
  std::size_t offset = 0;          // of the tag byte
  std::size_t header_size = 0;     // tag and length bytes
  std::uint64_t content_size = 0;  // bytes after the header
  std::size_t End() const { return offset + header_size + static_cast<std::size_t>(content_size); }
};

// Reads the element that starts at offset; its content must lie inside der. Single-byte tags
// and definite lengths of up to 4 length bytes only (decoded as the data area search does).
bool ReadDerElement(std::string_view der, std::size_t offset, DerElement& element,
                    std::string& error);

// No element of a signature holds more members than this: a list of them stays small even
// when a hostile signature is made of millions of two-byte elements.
constexpr std::size_t kMaxDerChildren = 4096;

// The members of a constructed element's content, in order; each must lie inside parent. More
// than kMaxDerChildren members are an error.
bool ReadDerChildren(std::string_view der, const DerElement& parent,
                     std::vector<DerElement>& children, std::string& error);

// The content bytes of an element, and the whole element with its header.
std::string_view DerContent(std::string_view der, const DerElement& element);
std::string_view DerWhole(std::string_view der, const DerElement& element);

// An object identifier's content bytes as "1.2.840.113549"; empty when the last arc is cut off
// or an arc does not fit 64 bits.
std::string DerOidText(std::string_view oid);

// UTCTime "YYMMDDHHMM[SS]" or GeneralizedTime "YYYYMMDDHHMM[SS][.f]", each ending in "Z" or an
// offset "+hhmm" / "-hhmm", as "YYYY-MM-DD HH:MM[:SS] UTC" (the offset in place of UTC), and as
// seconds since 1970 UTC when seconds is given. Empty for another tag or a malformed value.
std::string DerTimeText(std::uint8_t tag, std::string_view value, std::int64_t* seconds);

// The DER length field for a content of length bytes (short form below 128).
std::string EncodeDerLength(std::uint64_t length);

// tag + length + content.
std::string EncodeDerElement(std::uint8_t tag, std::string_view content);

// Takes a DER ContentInfo holding SignedData (bytes after the element, such as the padding of a
// PE certificate table entry, are dropped) and returns it with certificate appended as the last
// member of the certificate set, the set created when the signature has none.
bool AddCertificateToSignedData(std::string_view content_info, std::string_view certificate,
                                std::string& result, std::string& error);

// A SignedData taken apart: its certificates, each as DER, in order, and the bytes of every
// other field (version, digest algorithms, signed content, CRLs, signer infos with their signed
// and unsigned attributes), in order.
struct SignedDataParts {
  std::vector<std::string> certificates;
  std::vector<std::string> other_fields;
  bool operator==(const SignedDataParts&) const = default;
};

// The fields of the SignedData inside a DER ContentInfo, checked for the expected shape:
// version, digest algorithms, signed content, optional certificates and CRLs, signer infos.
bool ReadSignedDataFields(std::string_view content_info, std::vector<DerElement>& fields,
                          std::string& error);

// Splits a DER ContentInfo holding SignedData; bytes after the element are ignored.
bool SplitSignedData(std::string_view content_info, SignedDataParts& parts, std::string& error);

}  // namespace kv
