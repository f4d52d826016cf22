#include "setupfile/DerSignedData.h"

#include <vector>

#include "base/ByteReader.h"
#include "setupfile/ExeSignatureBlobUtils.h"

namespace kv {

namespace {

constexpr std::uint8_t kTagNumberMask = 0x1F;
constexpr std::uint8_t kLongFormFlag = 0x80;
constexpr std::uint8_t kIndefiniteLength = 0x80;
constexpr std::uint8_t kLongestLengthField = 0x84;  // long form with 4 length bytes
// DER of OID 1.2.840.113549.1.7.2 (pkcs7-signedData), content only.
constexpr std::string_view kSignedDataOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";

// Finds SignedData inside ContentInfo ::= SEQUENCE { contentType OID, [0] EXPLICIT content }.
bool FindSignedData(std::string_view der, DerElement& content_info, DerElement& signed_data,
                    std::string& error) {
  if (!ReadDerElement(der, 0, content_info, error))
    return false;
  std::vector<DerElement> members;
  if (!ReadDerChildren(der, content_info, members, error))
    return false;
  if (content_info.tag != kTagSequence || members.size() != 2 || members[0].tag != kTagOid ||
      DerContent(der, members[0]) != kSignedDataOid || members[1].tag != kTagContext0) {
    error = "The signature is not a PKCS#7 SignedData structure";
    return false;
  }
  std::vector<DerElement> inner;
  if (!ReadDerChildren(der, members[1], inner, error))
    return false;
  if (inner.size() != 1 || inner[0].tag != kTagSequence) {
    error = "The signature's content is not a SignedData SEQUENCE";
    return false;
  }
  signed_data = inner[0];
  return true;
}

bool AllDigits(std::string_view text) {
  return text.find_first_not_of("0123456789") == std::string_view::npos;
}

int Number(std::string_view digits) {
  int value = 0;
  for (const char c : digits)
    value = value * 10 + (c - '0');
  return value;
}

// Days from 1970-01-01 to the date, in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

}  // namespace

bool ReadDerElement(std::string_view der, std::size_t offset, DerElement& element,
                    std::string& error) {
  ByteReader reader(der);
  std::uint8_t tag = 0;
  std::uint8_t first = 0;
  if (!reader.Seek(offset) || !reader.ReadU8(tag)) {
    error = "The signature is truncated (an element header runs past its end)";
    return false;
  }
  const std::size_t length_at = reader.Position();
  if (!reader.ReadU8(first)) {
    error = "The signature is truncated (an element header runs past its end)";
    return false;
  }
  if ((tag & kTagNumberMask) == kTagNumberMask) {
    error = "The signature uses a multi-byte tag, which is not handled here";
    return false;
  }
  std::uint32_t length = 0;
  int length_size = 0;
  if (!DecodeDerLength(der.substr(length_at), length, length_size)) {
    if (first == kIndefiniteLength)
      error = "The signature uses an indefinite length (BER), which is not handled here";
    else if (first > kLongestLengthField)
      error = "The signature has a length field of more than 4 bytes";
    else
      error = "The signature is truncated (a length field runs past its end)";
    return false;
  }
  const std::size_t content = length_at + static_cast<std::size_t>(length_size);
  if (length > der.size() - content) {
    error = "The signature is truncated (an element runs past its end)";
    return false;
  }
  element.tag = tag;
  element.offset = offset;
  element.header_size = content - offset;
  element.content_size = length;
  return true;
}

bool ReadDerChildren(std::string_view der, const DerElement& parent,
                     std::vector<DerElement>& children, std::string& error) {
  std::size_t offset = parent.offset + parent.header_size;
  while (offset < parent.End()) {
    if (children.size() == kMaxDerChildren) {
      error = "The signature has an element of more than " + std::to_string(kMaxDerChildren) +
              " members";
      return false;
    }
    DerElement child;
    if (!ReadDerElement(der.substr(0, parent.End()), offset, child, error))
      return false;
    children.push_back(child);
    offset = child.End();
  }
  return true;
}

std::string_view DerContent(std::string_view der, const DerElement& element) {
  return der.substr(element.offset + element.header_size,
                    static_cast<std::size_t>(element.content_size));
}

std::string_view DerWhole(std::string_view der, const DerElement& element) {
  return der.substr(element.offset, element.End() - element.offset);
}

std::string DerOidText(std::string_view oid) {
  std::string dotted;
  std::uint64_t arc = 0;
  bool first = true;
  bool open = false;
  for (const char c : oid) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (arc > (UINT64_MAX >> 7))
      return {};
    arc = (arc << 7) | (byte & 0x7F);
    open = (byte & 0x80) != 0;
    if (open)
      continue;
    if (first) {
      const std::uint64_t top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
      dotted = std::to_string(top);
      arc -= top * 40;
      first = false;
    }
    dotted += '.';
    dotted += std::to_string(arc);
    arc = 0;
  }
  return open ? std::string() : dotted;
}

std::string DerTimeText(std::uint8_t tag, std::string_view value, std::int64_t* seconds) {
  std::string text(value);
  if (tag == kTagUtcTime && text.size() >= 2 && AllDigits(text.substr(0, 2)))
    text = (text.substr(0, 2) < "50" ? "20" : "19") + text;
  else if (tag != kTagGeneralizedTime)
    return {};
  // The digits, then a fraction (GeneralizedTime only), then the zone.
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
    ++digits;
  if (digits != 12 && digits != 14)
    return {};
  std::size_t zone = digits;
  if (tag == kTagGeneralizedTime && digits == 14 && zone < text.size() && text[zone] == '.') {
    ++zone;
    while (zone < text.size() && text[zone] >= '0' && text[zone] <= '9')
      ++zone;
  }
  const std::string_view rest = std::string_view(text).substr(zone);
  std::string label;
  int offset_minutes = 0;
  if (rest == "Z") {
    label = "UTC";
  } else if (rest.size() == 5 && (rest[0] == '+' || rest[0] == '-') && AllDigits(rest.substr(1))) {
    label = std::string(rest);
    offset_minutes =
        (Number(rest.substr(1, 2)) * 60 + Number(rest.substr(3, 2))) * (rest[0] == '-' ? -1 : 1);
  } else {
    return {};
  }
  const int month = Number(text.substr(4, 2));
  const int day = Number(text.substr(6, 2));
  const int hour = Number(text.substr(8, 2));
  const int minute = Number(text.substr(10, 2));
  const int second = digits == 14 ? Number(text.substr(12, 2)) : 0;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return {};
  if (seconds != nullptr) {
    *seconds = DaysFromCivil(Number(text.substr(0, 4)), month, day) * 86400 + hour * 3600 +
               minute * 60 + second - offset_minutes * 60;
  }
  std::string readable = text.substr(0, 4) + "-" + text.substr(4, 2) + "-" + text.substr(6, 2) +
                         " " + text.substr(8, 2) + ":" + text.substr(10, 2);
  if (digits == 14)
    readable += ":" + text.substr(12, 2);
  return readable + " " + label;
}

std::string EncodeDerLength(std::uint64_t length) {
  if (length < kLongFormFlag)
    return std::string(1, static_cast<char>(length));
  std::string bytes;
  for (std::uint64_t rest = length; rest != 0; rest >>= 8)
    bytes.insert(bytes.begin(), static_cast<char>(rest & 0xFF));
  return static_cast<char>(kLongFormFlag | bytes.size()) + bytes;
}

std::string EncodeDerElement(std::uint8_t tag, std::string_view content) {
  std::string element(1, static_cast<char>(tag));
  element += EncodeDerLength(content.size());
  element += content;
  return element;
}

// SignedData ::= SEQUENCE { version, digestAlgorithms, encapContentInfo,
//                           certificates [0] IMPLICIT OPTIONAL, crls [1] OPTIONAL, signerInfos }
bool ReadSignedDataFields(std::string_view content_info, std::vector<DerElement>& fields,
                          std::string& error) {
  DerElement outer;
  DerElement signed_data;
  if (!FindSignedData(content_info, outer, signed_data, error) ||
      !ReadDerChildren(content_info, signed_data, fields, error))
    return false;
  if (fields.size() < 4 || fields[0].tag != kTagInteger || fields[1].tag != kTagSet ||
      fields[2].tag != kTagSequence || fields.back().tag != kTagSet) {
    error = "The SignedData structure does not have the expected fields";
    return false;
  }
  return true;
}

bool SplitSignedData(std::string_view content_info, SignedDataParts& parts, std::string& error) {
  std::vector<DerElement> fields;
  if (!ReadSignedDataFields(content_info, fields, error))
    return false;
  parts = SignedDataParts();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i != kCertificatesField || fields[i].tag != kTagContext0) {
      parts.other_fields.emplace_back(DerWhole(content_info, fields[i]));
      continue;
    }
    std::vector<DerElement> certificates;
    if (!ReadDerChildren(content_info, fields[i], certificates, error))
      return false;
    for (const DerElement& certificate : certificates)
      parts.certificates.emplace_back(DerWhole(content_info, certificate));
  }
  return true;
}

bool AddCertificateToSignedData(std::string_view content_info, std::string_view certificate,
                                std::string& result, std::string& error) {
  std::vector<DerElement> fields;
  if (!ReadSignedDataFields(content_info, fields, error))
    return false;

  std::string new_fields;
  bool added = false;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const DerElement& field = fields[i];
    if (i == kCertificatesField && field.tag == kTagContext0) {
      std::string certificates(DerContent(content_info, field));
      certificates += certificate;
      new_fields += EncodeDerElement(kTagContext0, certificates);
      added = true;
      continue;
    }
    if (i == kCertificatesField && (field.tag == kTagContext1 || field.tag == kTagSet)) {
      new_fields += EncodeDerElement(kTagContext0, certificate);
      added = true;
    }
    new_fields += DerWhole(content_info, field);
  }
  if (!added) {
    error = "The SignedData structure has no place for a certificate set";
    return false;
  }

  const std::string new_signed_data = EncodeDerElement(kTagSequence, new_fields);
  std::string outer_content = EncodeDerElement(kTagOid, kSignedDataOid);
  outer_content += EncodeDerElement(kTagContext0, new_signed_data);
  result = EncodeDerElement(kTagSequence, outer_content);
  return true;
}

}  // namespace kv
