#include "setupfile/AuthenticodeSignature.h"

#include <vector>

#include "setupfile/DerSignedData.h"

namespace kv {

namespace {

// Object identifiers, content bytes only.
constexpr std::string_view kSpcIndirectDataOid = "\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04";
constexpr std::string_view kSigningTimeOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05";
constexpr std::string_view kCounterSignatureOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x06";
constexpr std::string_view kRfc3161TimeStampOid = "\x2B\x06\x01\x04\x01\x82\x37\x03\x03\x01";
constexpr std::string_view kTstInfoOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x10\x01\x04";

struct DigestOid {
  std::string_view oid;
  AuthenticodeDigestKind kind;
};
constexpr DigestOid kDigestOids[] = {
    {"\x2B\x0E\x03\x02\x1A", AuthenticodeDigestKind::kSha1},
    {"\x60\x86\x48\x01\x65\x03\x04\x02\x01", AuthenticodeDigestKind::kSha256},
    {"\x60\x86\x48\x01\x65\x03\x04\x02\x02", AuthenticodeDigestKind::kSha384},
    {"\x60\x86\x48\x01\x65\x03\x04\x02\x03", AuthenticodeDigestKind::kSha512},
};

struct NameAttribute {
  std::string_view oid;
  std::string_view label;
};
constexpr NameAttribute kNameAttributes[] = {
    {"\x55\x04\x03", "CN"},
    {"\x55\x04\x06", "C"},
    {"\x55\x04\x07", "L"},
    {"\x55\x04\x08", "ST"},
    {"\x55\x04\x0A", "O"},
    {"\x55\x04\x0B", "OU"},
    {"\x55\x04\x05", "SERIALNUMBER"},
    {"\x2A\x86\x48\x86\xF7\x0D\x01\x09\x01", "emailAddress"},
};

// A reader of one DER blob that keeps the first error.
class Der {
 public:
  explicit Der(std::string_view der) : der_(der) {}

  bool Top(DerElement& element) { return ReadDerElement(der_, 0, element, error_); }
  // The members of element; empty (and an error kept) when they do not parse.
  std::vector<DerElement> Children(const DerElement& element) {
    std::vector<DerElement> children;
    if (!ReadDerChildren(der_, element, children, error_))
      children.clear();
    return children;
  }
  std::string_view Content(const DerElement& element) const { return DerContent(der_, element); }
  std::string_view Whole(const DerElement& element) const { return DerWhole(der_, element); }
  const std::string& Error() const { return error_; }

 private:
  std::string_view der_;
  std::string error_;
};

std::string DottedOid(std::string_view oid) {
  std::string dotted;
  std::uint64_t arc = 0;
  bool first = true;
  for (const char c : oid) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (arc > (UINT64_MAX >> 7))
      return "(invalid)";
    arc = (arc << 7) | (byte & 0x7F);
    if ((byte & 0x80) != 0)
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
  return dotted;
}

void AppendUtf8(std::string& text, std::uint32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// A directory string as UTF-8: BMPString (UTF-16 big-endian, basic plane) is converted, the
// other string types are taken as they are.
std::string NameValue(std::uint8_t tag, std::string_view value) {
  if (tag != kTagBmpString)
    return std::string(value);
  std::string text;
  for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
    AppendUtf8(text, (static_cast<std::uint32_t>(static_cast<std::uint8_t>(value[i])) << 8) |
                         static_cast<std::uint8_t>(value[i + 1]));
  }
  return text;
}

// Name ::= SEQUENCE OF SET OF SEQUENCE { type OID, value }, as "CN=..., O=..." in stored order.
std::string ReadableName(Der& der, const DerElement& name) {
  std::string text;
  for (const DerElement& rdn : der.Children(name)) {
    for (const DerElement& pair : der.Children(rdn)) {
      const std::vector<DerElement> parts = der.Children(pair);
      if (parts.size() != 2 || parts[0].tag != kTagOid)
        continue;
      const std::string_view oid = der.Content(parts[0]);
      std::string label = DottedOid(oid);
      for (const NameAttribute& attribute : kNameAttributes) {
        if (attribute.oid == oid)
          label = attribute.label;
      }
      if (!text.empty())
        text += ", ";
      text += label + "=" + NameValue(parts[1].tag, der.Content(parts[1]));
    }
  }
  return text;
}

// UTCTime "YYMMDDHHMMSSZ" or GeneralizedTime "YYYYMMDDHHMMSS[.f]Z" as "YYYY-MM-DD HH:MM:SS UTC".
std::string ReadableTime(std::uint8_t tag, std::string_view value) {
  std::string digits(value);
  if (tag == kTagUtcTime && digits.size() >= 12)
    digits = (digits.substr(0, 2) < "50" ? "20" : "19") + digits;
  else if (tag != kTagGeneralizedTime)
    return {};
  if (digits.size() < 14 || digits.find_first_not_of("0123456789") < 14)
    return {};
  return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2) + " " +
         digits.substr(8, 2) + ":" + digits.substr(10, 2) + ":" + digits.substr(12, 2) + " UTC";
}

// The first value of the attribute oid in a [0]/[1] attribute set; false when there is none.
bool FindAttribute(Der& der, const DerElement& attributes, std::string_view oid,
                   DerElement& value) {
  for (const DerElement& attribute : der.Children(attributes)) {
    const std::vector<DerElement> parts = der.Children(attribute);
    if (parts.size() != 2 || parts[0].tag != kTagOid || der.Content(parts[0]) != oid ||
        parts[1].tag != kTagSet) {
      continue;
    }
    const std::vector<DerElement> values = der.Children(parts[1]);
    if (values.empty())
      return false;
    value = values[0];
    return true;
  }
  return false;
}

// The signing time in a SignerInfo's signed attributes, empty when it has none.
std::string SignerInfoTime(Der& der, const std::vector<DerElement>& signer_info) {
  for (const DerElement& field : signer_info) {
    DerElement time;
    if (field.tag == kTagContext0 && FindAttribute(der, field, kSigningTimeOid, time))
      return ReadableTime(time.tag, der.Content(time));
  }
  return {};
}

// The generation time of an RFC 3161 time stamp token (a ContentInfo of SignedData holding a
// TSTInfo): TSTInfo ::= SEQUENCE { version, policy, messageImprint, serialNumber, genTime, ... }.
std::string TimeStampTokenTime(std::string_view token) {
  std::vector<DerElement> fields;
  std::string error;
  if (!ReadSignedDataFields(token, fields, error))
    return {};
  Der der(token);
  const std::vector<DerElement> content = der.Children(fields[kEncapsulatedContentField]);
  if (content.size() != 2 || der.Content(content[0]) != kTstInfoOid ||
      content[1].tag != kTagContext0) {
    return {};
  }
  const std::vector<DerElement> wrapped = der.Children(content[1]);
  if (wrapped.size() != 1 || wrapped[0].tag != kTagOctetString)
    return {};
  const std::string_view tst_bytes = der.Content(wrapped[0]);
  Der tst(tst_bytes);
  DerElement tst_info;
  if (!tst.Top(tst_info))
    return {};
  const std::vector<DerElement> tst_fields = tst.Children(tst_info);
  constexpr std::size_t kGenTimeField = 4;
  if (tst_fields.size() <= kGenTimeField)
    return {};
  return ReadableTime(tst_fields[kGenTimeField].tag, tst.Content(tst_fields[kGenTimeField]));
}

// The time of a counter-signature or RFC 3161 time stamp in the unsigned attributes.
std::string TimeStampTime(Der& der, std::string_view whole, const DerElement& unsigned_attributes) {
  DerElement value;
  if (FindAttribute(der, unsigned_attributes, kCounterSignatureOid, value))
    return SignerInfoTime(der, der.Children(value));
  if (FindAttribute(der, unsigned_attributes, kRfc3161TimeStampOid, value))
    return TimeStampTokenTime(DerWhole(whole, value));
  return {};
}

// SpcIndirectDataContent ::= SEQUENCE { data, messageDigest DigestInfo }, inside
// encapContentInfo ::= SEQUENCE { contentType, [0] EXPLICIT content }.
bool ReadIndirectData(Der& der, const DerElement& encapsulated, AuthenticodeSignature& signature) {
  const std::vector<DerElement> content = der.Children(encapsulated);
  if (content.size() != 2 || content[0].tag != kTagOid ||
      der.Content(content[0]) != kSpcIndirectDataOid || content[1].tag != kTagContext0) {
    return false;
  }
  const std::vector<DerElement> wrapped = der.Children(content[1]);
  if (wrapped.size() != 1 || wrapped[0].tag != kTagSequence)
    return false;
  const std::vector<DerElement> indirect = der.Children(wrapped[0]);
  if (indirect.size() != 2 || indirect[1].tag != kTagSequence)
    return false;
  const std::vector<DerElement> digest_info = der.Children(indirect[1]);
  if (digest_info.size() != 2 || digest_info[0].tag != kTagSequence ||
      digest_info[1].tag != kTagOctetString) {
    return false;
  }
  const std::vector<DerElement> algorithm = der.Children(digest_info[0]);
  if (algorithm.empty() || algorithm[0].tag != kTagOid)
    return false;
  const std::string_view oid = der.Content(algorithm[0]);
  signature.digest_algorithm_oid = DottedOid(oid);
  for (const DigestOid& known : kDigestOids) {
    if (known.oid == oid)
      signature.digest_kind = known.kind;
  }
  signature.digest = der.Content(digest_info[1]);
  return true;
}

// Finds the certificate whose issuer and serial number are the signer's and takes its names.
// Certificate ::= SEQUENCE { tbsCertificate SEQUENCE { [0] version OPTIONAL, serialNumber,
//                            signature, issuer, validity, subject, ... }, ... }
void ReadSignerNames(Der& der, const DerElement& certificates, const DerElement& issuer_and_serial,
                     AuthenticodeSignature& signature) {
  const std::vector<DerElement> sid = der.Children(issuer_and_serial);
  if (sid.size() != 2 || sid[1].tag != kTagInteger)
    return;
  for (const DerElement& certificate : der.Children(certificates)) {
    const std::vector<DerElement> parts = der.Children(certificate);
    if (parts.empty() || parts[0].tag != kTagSequence)
      continue;
    std::vector<DerElement> tbs = der.Children(parts[0]);
    if (!tbs.empty() && tbs[0].tag == kTagContext0)
      tbs.erase(tbs.begin());
    constexpr std::size_t kSerial = 0, kIssuer = 2, kSubject = 4;
    if (tbs.size() <= kSubject || der.Whole(tbs[kSerial]) != der.Whole(sid[1]) ||
        der.Whole(tbs[kIssuer]) != der.Whole(sid[0])) {
      continue;
    }
    signature.signer_subject = ReadableName(der, tbs[kSubject]);
    signature.signer_issuer = ReadableName(der, tbs[kIssuer]);
    return;
  }
}

}  // namespace

bool ReadAuthenticodeSignature(std::string_view content_info, AuthenticodeSignature& signature,
                               std::string& error) {
  std::vector<DerElement> fields;
  if (!ReadSignedDataFields(content_info, fields, error))
    return false;
  Der der(content_info);
  AuthenticodeSignature result;
  if (!ReadIndirectData(der, fields[kEncapsulatedContentField], result)) {
    error = der.Error().empty() ? "The signature holds no Authenticode file digest" : der.Error();
    return false;
  }
  // signerInfos ::= SET OF SignerInfo; SignerInfo ::= SEQUENCE { version, sid, digestAlgorithm,
  //   [0] signedAttrs OPTIONAL, signatureAlgorithm, signature, [1] unsignedAttrs OPTIONAL }
  const std::vector<DerElement> signers = der.Children(fields.back());
  if (!signers.empty()) {
    const std::vector<DerElement> signer = der.Children(signers[0]);
    if (signer.size() > 1 && signer[1].tag == kTagSequence &&
        fields[kCertificatesField].tag == kTagContext0) {
      ReadSignerNames(der, fields[kCertificatesField], signer[1], result);
    }
    result.signing_time = SignerInfoTime(der, signer);
    if (!signer.empty() && signer.back().tag == kTagContext1)
      result.time_stamp = TimeStampTime(der, content_info, signer.back());
  }
  signature = std::move(result);
  return true;
}

}  // namespace kv
