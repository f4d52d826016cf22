#include "setupfile/AuthenticodeSignature.h"

#include <vector>

#include "setupfile/DerSignedData.h"

namespace kv {

namespace {

constexpr std::uint8_t kTagContext2 = 0xA2;  // [2] constructed: a PSS salt length

// Object identifiers, content bytes only.
constexpr std::string_view kSpcIndirectDataOid = "\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04";
constexpr std::string_view kContentTypeOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03";
constexpr std::string_view kMessageDigestOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04";
constexpr std::string_view kSigningTimeOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05";
constexpr std::string_view kCounterSignatureOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x06";
constexpr std::string_view kRfc3161TimeStampOid = "\x2B\x06\x01\x04\x01\x82\x37\x03\x03\x01";
constexpr std::string_view kNestedSignatureOid = "\x2B\x06\x01\x04\x01\x82\x37\x02\x04\x01";
constexpr std::string_view kTstInfoOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x10\x01\x04";
constexpr std::string_view kRsaPssOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0A";

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

// Signature algorithms: rsaEncryption and shaNWithRSAEncryption, RSASSA-PSS, id-ecPublicKey and
// ecdsa-with-SHAn.
struct SignatureOid {
  std::string_view oid;
  SignatureAlgorithmKind kind;
};
constexpr SignatureOid kSignatureOids[] = {
    {"\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01", SignatureAlgorithmKind::kRsaPkcs1},
    {"\x2A\x86\x48\x86\xF7\x0D\x01\x01\x05", SignatureAlgorithmKind::kRsaPkcs1},
    {"\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0B", SignatureAlgorithmKind::kRsaPkcs1},
    {"\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0C", SignatureAlgorithmKind::kRsaPkcs1},
    {"\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0D", SignatureAlgorithmKind::kRsaPkcs1},
    {kRsaPssOid, SignatureAlgorithmKind::kRsaPss},
    {"\x2A\x86\x48\xCE\x3D\x02\x01", SignatureAlgorithmKind::kEcdsa},
    {"\x2A\x86\x48\xCE\x3D\x04\x01", SignatureAlgorithmKind::kEcdsa},
    {"\x2A\x86\x48\xCE\x3D\x04\x03\x02", SignatureAlgorithmKind::kEcdsa},
    {"\x2A\x86\x48\xCE\x3D\x04\x03\x03", SignatureAlgorithmKind::kEcdsa},
    {"\x2A\x86\x48\xCE\x3D\x04\x03\x04", SignatureAlgorithmKind::kEcdsa},
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

AuthenticodeDigestKind DigestKindOf(std::string_view oid) {
  for (const DigestOid& known : kDigestOids) {
    if (known.oid == oid)
      return known.kind;
  }
  return AuthenticodeDigestKind::kUnknown;
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
      std::string label = DerOidText(oid);
      if (label.empty())
        label = "(invalid)";
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

// The values of the attribute oid in a [0]/[1] attribute set, of every attribute of that type,
// at most max_values of them: a hostile set of thousands of attributes with thousands of values
// each is not listed whole.
std::vector<DerElement> AttributeValues(Der& der, const DerElement& attributes,
                                        std::string_view oid, std::size_t max_values) {
  std::vector<DerElement> values;
  for (const DerElement& attribute : der.Children(attributes)) {
    if (values.size() == max_values)
      break;
    const std::vector<DerElement> parts = der.Children(attribute);
    if (parts.size() != 2 || parts[0].tag != kTagOid || der.Content(parts[0]) != oid ||
        parts[1].tag != kTagSet) {
      continue;
    }
    for (const DerElement& value : der.Children(parts[1])) {
      if (values.size() == max_values)
        break;
      values.push_back(value);
    }
  }
  return values;
}

// AlgorithmIdentifier ::= SEQUENCE { algorithm OID, parameters ANY OPTIONAL }: the OID's bytes.
bool AlgorithmOid(Der& der, const DerElement& identifier, std::string_view& oid,
                  std::vector<DerElement>* parts = nullptr) {
  if (identifier.tag != kTagSequence)
    return false;
  std::vector<DerElement> members = der.Children(identifier);
  if (members.empty() || members[0].tag != kTagOid)
    return false;
  oid = der.Content(members[0]);
  if (parts != nullptr)
    *parts = std::move(members);
  return true;
}

// The digest of an AlgorithmIdentifier wrapped in an explicit tag.
AuthenticodeDigestKind WrappedDigest(Der& der, const DerElement& wrapper) {
  const std::vector<DerElement> inner = der.Children(wrapper);
  std::string_view oid;
  if (inner.size() != 1 || !AlgorithmOid(der, inner[0], oid))
    return AuthenticodeDigestKind::kUnknown;
  return DigestKindOf(oid);
}

// RSASSA-PSS-params ::= SEQUENCE { [0] hashAlgorithm, [1] maskGenAlgorithm, [2] saltLength,
// [3] trailerField }, each with a default (SHA-1, MGF1 with SHA-1, 20, 1).
void ReadPssParameters(Der& der, const DerElement& parameters, SignerParts& signer) {
  AuthenticodeDigestKind hash = AuthenticodeDigestKind::kSha1;
  signer.pss_mgf_digest = AuthenticodeDigestKind::kSha1;
  for (const DerElement& field : der.Children(parameters)) {
    if (field.tag == kTagContext0) {
      hash = WrappedDigest(der, field);
    } else if (field.tag == kTagContext1) {
      const std::vector<DerElement> inner = der.Children(field);
      std::vector<DerElement> mgf;
      std::string_view oid;
      signer.pss_mgf_digest = AuthenticodeDigestKind::kUnknown;
      if (inner.size() == 1 && AlgorithmOid(der, inner[0], oid, &mgf) && mgf.size() == 2) {
        std::string_view mgf_hash;
        if (AlgorithmOid(der, mgf[1], mgf_hash))
          signer.pss_mgf_digest = DigestKindOf(mgf_hash);
      }
    } else if (field.tag == kTagContext2) {
      const std::vector<DerElement> inner = der.Children(field);
      const std::string_view value =
          inner.size() == 1 && inner[0].tag == kTagInteger ? der.Content(inner[0]) : "";
      if (value.empty() || value.size() > 3 || (static_cast<std::uint8_t>(value[0]) & 0x80)) {
        signer.signature_kind = SignatureAlgorithmKind::kUnknown;
        return;
      }
      signer.pss_salt_length = 0;
      for (const char c : value)
        signer.pss_salt_length = signer.pss_salt_length << 8 | static_cast<std::uint8_t>(c);
    }
  }
  // The signed attributes are hashed with the SignerInfo's digest; PSS must name the same one.
  if (hash != signer.digest_kind || signer.pss_mgf_digest == AuthenticodeDigestKind::kUnknown)
    signer.signature_kind = SignatureAlgorithmKind::kUnknown;
}

// Finds the certificate whose issuer and serial number are the signer's and takes it and its
// names. Certificate ::= SEQUENCE { tbsCertificate SEQUENCE { [0] version OPTIONAL,
//                                   serialNumber, signature, issuer, validity, subject, ... } }
void FindSignerCertificate(Der& der, const DerElement& issuer_and_serial,
                           const std::vector<std::string>& certificates, SignerParts& signer) {
  const std::vector<DerElement> sid = der.Children(issuer_and_serial);
  if (sid.size() != 2 || sid[1].tag != kTagInteger)
    return;
  for (const std::string& certificate : certificates) {
    Der cert(certificate);
    DerElement top;
    if (!cert.Top(top))
      continue;
    const std::vector<DerElement> parts = cert.Children(top);
    if (parts.empty() || parts[0].tag != kTagSequence)
      continue;
    std::vector<DerElement> tbs = cert.Children(parts[0]);
    if (!tbs.empty() && tbs[0].tag == kTagContext0)
      tbs.erase(tbs.begin());
    constexpr std::size_t kSerial = 0, kIssuer = 2, kSubject = 4;
    if (tbs.size() <= kSubject || cert.Whole(tbs[kSerial]) != der.Whole(sid[1]) ||
        cert.Whole(tbs[kIssuer]) != der.Whole(sid[0])) {
      continue;
    }
    signer.certificate = certificate;
    signer.subject = ReadableName(cert, tbs[kSubject]);
    signer.issuer = ReadableName(cert, tbs[kIssuer]);
    return;
  }
}

// SignerInfo ::= SEQUENCE { version, sid, digestAlgorithm, [0] signedAttrs OPTIONAL,
//   signatureAlgorithm, signature OCTET STRING, [1] unsignedAttrs OPTIONAL }.
// The unsigned attributes, when there are any, are left in unsigned_attributes.
bool ReadSigner(Der& der, const DerElement& signer_info,
                const std::vector<std::string>& certificates, SignerParts& signer,
                DerElement* unsigned_attributes) {
  std::vector<DerElement> fields = der.Children(signer_info);
  if (signer_info.tag != kTagSequence || fields.size() < 5 || fields[0].tag != kTagInteger)
    return false;
  std::size_t next = 2;
  std::string_view oid;
  if (!AlgorithmOid(der, fields[next++], oid))
    return false;
  signer.digest_algorithm_oid = DerOidText(oid);
  signer.digest_kind = DigestKindOf(oid);
  if (fields[next].tag == kTagContext0) {
    const DerElement& attributes = fields[next++];
    signer.has_signed_attributes = true;
    signer.signed_attributes = std::string(der.Whole(attributes));
    signer.signed_attributes[0] = static_cast<char>(kTagSet);
    const std::vector<DerElement> digests = AttributeValues(der, attributes, kMessageDigestOid, 2);
    if (digests.size() == 1 && digests[0].tag == kTagOctetString) {
      signer.has_message_digest = true;
      signer.message_digest = der.Content(digests[0]);
    }
    const std::vector<DerElement> types = AttributeValues(der, attributes, kContentTypeOid, 2);
    if (types.size() == 1 && types[0].tag == kTagOid)
      signer.content_type = DerOidText(der.Content(types[0]));
    const std::vector<DerElement> times = AttributeValues(der, attributes, kSigningTimeOid, 1);
    if (!times.empty())
      signer.signing_time = DerTimeText(times[0].tag, der.Content(times[0]), nullptr);
  }
  std::vector<DerElement> algorithm;
  if (next + 1 >= fields.size() || !AlgorithmOid(der, fields[next++], oid, &algorithm) ||
      fields[next].tag != kTagOctetString) {
    return false;
  }
  signer.signature_algorithm_oid = DerOidText(oid);
  for (const SignatureOid& known : kSignatureOids) {
    if (known.oid == oid)
      signer.signature_kind = known.kind;
  }
  if (signer.signature_kind == SignatureAlgorithmKind::kRsaPss) {
    if (algorithm.size() == 2 && algorithm[1].tag == kTagSequence)
      ReadPssParameters(der, algorithm[1], signer);
    else
      signer.signature_kind = SignatureAlgorithmKind::kUnknown;
  }
  signer.signature = der.Content(fields[next++]);
  if (next < fields.size() && fields[next].tag == kTagContext1 && unsigned_attributes != nullptr)
    *unsigned_attributes = fields[next];
  if (fields[1].tag == kTagSequence)
    FindSignerCertificate(der, fields[1], certificates, signer);
  return der.Error().empty();
}

// The certificates of a SignedData, as DER.
std::vector<std::string> Certificates(Der& der, const std::vector<DerElement>& fields) {
  std::vector<std::string> certificates;
  if (fields[kCertificatesField].tag != kTagContext0)
    return certificates;
  for (const DerElement& certificate : der.Children(fields[kCertificatesField]))
    certificates.emplace_back(der.Whole(certificate));
  return certificates;
}

// An RFC 3161 time stamp token: a ContentInfo of SignedData holding a TSTInfo,
// TSTInfo ::= SEQUENCE { version, policy, messageImprint, serialNumber, genTime, ... }.
bool ReadTimeStampToken(std::string_view token, AuthenticodeTimeStamp& stamp) {
  std::vector<DerElement> fields;
  std::string error;
  if (!ReadSignedDataFields(token, fields, error))
    return false;
  Der der(token);
  stamp.certificates = Certificates(der, fields);
  const std::vector<DerElement> content = der.Children(fields[kEncapsulatedContentField]);
  if (content.size() != 2 || der.Content(content[0]) != kTstInfoOid ||
      content[1].tag != kTagContext0) {
    return false;
  }
  const std::vector<DerElement> wrapped = der.Children(content[1]);
  if (wrapped.size() != 1 || wrapped[0].tag != kTagOctetString)
    return false;
  stamp.signed_content = der.Content(wrapped[0]);
  Der tst(stamp.signed_content);
  DerElement tst_info;
  if (!tst.Top(tst_info))
    return false;
  const std::vector<DerElement> tst_fields = tst.Children(tst_info);
  constexpr std::size_t kImprintField = 2, kGenTimeField = 4;
  if (tst_fields.size() <= kGenTimeField)
    return false;
  const std::vector<DerElement> imprint = tst.Children(tst_fields[kImprintField]);
  std::string_view oid;
  if (imprint.size() != 2 || !AlgorithmOid(tst, imprint[0], oid) ||
      imprint[1].tag != kTagOctetString) {
    return false;
  }
  stamp.imprint_kind = DigestKindOf(oid);
  stamp.imprint = tst.Content(imprint[1]);
  stamp.time = DerTimeText(tst_fields[kGenTimeField].tag, tst.Content(tst_fields[kGenTimeField]),
                           &stamp.seconds);
  const std::vector<DerElement> signers = der.Children(fields.back());
  return signers.size() == 1 &&
         ReadSigner(der, signers[0], stamp.certificates, stamp.signer, nullptr);
}

// The first counter-signature or RFC 3161 time stamp and every nested signature in a signer's
// unsigned attributes.
void ReadUnsignedAttributes(Der& der, const DerElement& attributes,
                            AuthenticodeSignature& signature) {
  AuthenticodeTimeStamp& stamp = signature.stamp;
  const std::vector<DerElement> counter = AttributeValues(der, attributes, kCounterSignatureOid, 1);
  const std::vector<DerElement> tokens = AttributeValues(der, attributes, kRfc3161TimeStampOid, 1);
  if (!counter.empty()) {
    stamp.kind = TimeStampKind::kCounterSignature;
    stamp.signed_content = signature.signer.signature;
    if (!ReadSigner(der, counter[0], signature.certificates, stamp.signer, nullptr))
      stamp.problem = "the counter-signature cannot be read";
    std::vector<DerElement> fields = der.Children(counter[0]);
    for (const DerElement& field : fields) {
      if (field.tag != kTagContext0)
        continue;
      const std::vector<DerElement> times = AttributeValues(der, field, kSigningTimeOid, 1);
      if (!times.empty())
        stamp.time = DerTimeText(times[0].tag, der.Content(times[0]), &stamp.seconds);
    }
  } else if (!tokens.empty()) {
    stamp.kind = TimeStampKind::kRfc3161;
    if (!ReadTimeStampToken(der.Whole(tokens[0]), stamp))
      stamp.problem = "the time stamp token cannot be read";
  }
  for (const DerElement& nested :
       AttributeValues(der, attributes, kNestedSignatureOid, kMaxNestedSignatures + 1))
    signature.nested.emplace_back(der.Whole(nested));
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
  // The signed attributes' messageDigest covers the content of this SEQUENCE, without its tag
  // and length.
  signature.indirect_data = der.Content(wrapped[0]);
  const std::vector<DerElement> indirect = der.Children(wrapped[0]);
  if (indirect.size() != 2 || indirect[1].tag != kTagSequence)
    return false;
  const std::vector<DerElement> digest_info = der.Children(indirect[1]);
  if (digest_info.size() != 2 || digest_info[1].tag != kTagOctetString)
    return false;
  std::string_view oid;
  if (!AlgorithmOid(der, digest_info[0], oid))
    return false;
  signature.digest_algorithm_oid = DerOidText(oid);
  signature.digest_kind = DigestKindOf(oid);
  signature.digest = der.Content(digest_info[1]);
  return !signature.digest_algorithm_oid.empty();
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
  result.certificates = Certificates(der, fields);
  const std::vector<DerElement> signers = der.Children(fields.back());
  DerElement unsigned_attributes;
  if (signers.size() != 1 ||
      !ReadSigner(der, signers[0], result.certificates, result.signer, &unsigned_attributes)) {
    error = der.Error().empty() ? "The signature does not have exactly one readable signer"
                                : der.Error();
    return false;
  }
  if (unsigned_attributes.tag == kTagContext1)
    ReadUnsignedAttributes(der, unsigned_attributes, result);
  result.signer_subject = result.signer.subject;
  result.signer_issuer = result.signer.issuer;
  result.signing_time = result.signer.signing_time;
  result.time_stamp = result.stamp.time;
  signature = std::move(result);
  return true;
}

}  // namespace kv
