#include "contents/AuthenticodeCheck.h"

#include <ctime>

#include "crypto/CertificateCheck.h"

namespace kv {

namespace {

// Signatures nest in the unsigned attributes of the one holding them; real files nest one
// level, a hostile one is not followed deeper than this.
constexpr int kMaxNesting = 4;
// Real files hold one to three signatures; a hostile one of thousands (of certificate table
// entries or nested values) is refused at this many, so that its list stays small.
constexpr std::size_t kMaxSignatures = 32;

struct DigestName {
  AuthenticodeDigestKind kind;
  DigestAlgorithm algorithm;
  const char* name;
};
constexpr DigestName kDigestNames[] = {
    {AuthenticodeDigestKind::kSha1, DigestAlgorithm::kSha1, "SHA-1"},
    {AuthenticodeDigestKind::kSha256, DigestAlgorithm::kSha256, "SHA-256"},
    {AuthenticodeDigestKind::kSha384, DigestAlgorithm::kSha384, "SHA-384"},
    {AuthenticodeDigestKind::kSha512, DigestAlgorithm::kSha512, "SHA-512"},
};

// Appends an entry with problem and the nested flag; false when the list is full (its last entry
// then says so).
bool Add(ReadSignature read, std::vector<ReadSignature>& signatures) {
  if (signatures.size() == kMaxSignatures) {
    ReadSignature many;
    many.nested = read.nested;
    many.problem = "the file holds more than " + std::to_string(kMaxSignatures) + " signatures";
    signatures.push_back(std::move(many));
  }
  if (signatures.size() > kMaxSignatures)
    return false;
  signatures.push_back(std::move(read));
  return true;
}

bool Read(std::string_view blob, bool nested, int depth, std::vector<ReadSignature>& signatures) {
  ReadSignature read;
  read.nested = nested;
  std::string error;
  if (!ReadAuthenticodeSignature(blob, read.signature, error)) {
    read.problem = "the signature cannot be read: " + error;
    return Add(std::move(read), signatures);
  }
  const std::vector<std::string_view> inner = std::move(read.signature.nested);
  read.signature.nested.clear();
  if (!Add(std::move(read), signatures))
    return false;
  for (const std::string_view blob_inside : inner) {
    ReadSignature refused;
    refused.nested = true;
    if (depth >= kMaxNesting || inner.size() > kMaxNestedSignatures) {
      refused.problem = depth >= kMaxNesting
                            ? "the signatures are nested too deeply"
                            : "a signature holds more than " +
                                  std::to_string(kMaxNestedSignatures) + " nested signatures";
      return Add(std::move(refused), signatures);
    }
    if (!Read(blob_inside, true, depth + 1, signatures))
      return false;
  }
  return true;
}

SignatureStep Step(const char* name, StepState state, std::string detail) {
  return {name, state, std::move(detail)};
}

bool Hash(AuthenticodeDigestKind kind, std::string_view bytes, std::string& digest) {
  DigestAlgorithm algorithm;
  const char* name = nullptr;
  if (!DigestOf(kind, algorithm, name))
    return false;
  Digest computed(algorithm);
  computed.Update(bytes);
  return computed.Finish(digest);
}

// The content types the signed contentType attribute must name, so that a signature made over
// another kind of content is not taken for one of these.
constexpr const char* kIndirectDataType = "1.3.6.1.4.1.311.2.1.4";
constexpr const char* kTstInfoType = "1.2.840.113549.1.9.16.1.4";

// The signed messageDigest attribute against the digest of what it covers, and the signed
// contentType attribute against the type of what it covers (content_type; a counter-signature,
// which has none, passes nullptr).
SignatureStep CheckMessageDigest(const SignerParts& signer, std::string_view covered,
                                 const char* name, const char* what, const char* content_type) {
  if (!signer.has_message_digest)
    return Step(name, StepState::kFails, "the signer has no signed messageDigest attribute");
  if (content_type != nullptr && signer.content_type != content_type) {
    return Step(
        name, StepState::kFails,
        "the signed contentType attribute names " +
            (signer.content_type.empty() ? std::string("no single type") : signer.content_type) +
            ", not the type of " + what);
  }
  std::string digest;
  if (!Hash(signer.digest_kind, covered, digest)) {
    return Step(name, StepState::kNotChecked,
                "the signer's digest algorithm " + signer.digest_algorithm_oid +
                    " is not one this program computes");
  }
  if (digest != signer.message_digest)
    return Step(name, StepState::kFails,
                std::string("the signed messageDigest attribute does not match ") + what);
  return Step(name, StepState::kPasses, std::string("matches ") + what);
}

// The signer's signature over its signed attributes, with its certificate's key.
SignatureStep CheckSignerSignature(const SignerParts& signer, const char* name) {
  DigestAlgorithm digest;
  DigestAlgorithm mgf = DigestAlgorithm::kSha1;
  const char* digest_name = nullptr;
  const char* mgf_name = nullptr;
  if (signer.certificate.empty())
    return Step(name, StepState::kFails, "the signer's certificate is not in the signature");
  if (!signer.has_signed_attributes)
    return Step(name, StepState::kFails, "the signer has no signed attributes");
  if (signer.signature_kind == SignatureAlgorithmKind::kUnknown ||
      !DigestOf(signer.digest_kind, digest, digest_name) ||
      (signer.signature_kind == SignatureAlgorithmKind::kRsaPss &&
       !DigestOf(signer.pss_mgf_digest, mgf, mgf_name))) {
    return Step(name, StepState::kNotChecked,
                "the signature algorithm " + signer.signature_algorithm_oid + " with " +
                    signer.digest_algorithm_oid + " is not one this program checks");
  }
  KeySignatureScheme scheme;
  scheme.kind = signer.signature_kind == SignatureAlgorithmKind::kEcdsa ? KeySignatureKind::kEcdsa
                : signer.signature_kind == SignatureAlgorithmKind::kRsaPss
                    ? KeySignatureKind::kRsaPss
                    : KeySignatureKind::kRsaPkcs1;
  scheme.digest = digest;
  scheme.pss_mgf_digest = mgf;
  scheme.pss_salt_length = signer.pss_salt_length;
  const char* kind = scheme.kind == KeySignatureKind::kEcdsa    ? "ECDSA"
                     : scheme.kind == KeySignatureKind::kRsaPss ? "RSA-PSS"
                                                                : "RSA PKCS#1 v1.5";
  switch (VerifyCertificateSignature(signer.certificate, scheme, signer.signed_attributes,
                                     signer.signature)) {
    case CertificateSignatureResult::kValid:
      return Step(name, StepState::kPasses, std::string(kind) + " with " + digest_name);
    case CertificateSignatureResult::kInvalid:
      return Step(name, StepState::kFails,
                  "the signature over the signed attributes is not the signer's");
    case CertificateSignatureResult::kKeyUnusable:
      break;
  }
  return Step(name, StepState::kNotChecked,
              std::string("the signer's key cannot be used for ") + kind + " here");
}

// The chain of certificate to the roots named or, without them, to this computer's store.
ChainResult CheckChain(std::string_view certificate, const std::vector<std::string>& intermediates,
                       const std::vector<std::string>& roots_pem, std::int64_t at_time,
                       CertificatePurpose purpose) {
  return roots_pem.empty()
             ? CheckCertificateChainToSystemStore(certificate, intermediates, at_time, purpose)
             : CheckCertificateChain(certificate, intermediates, roots_pem, at_time, purpose);
}

// The time stamp over the signature value: its digest of the value, its signer's messageDigest
// and signature, and its signer's chain at the time it names (to the roots named, or this
// computer's store where there is one).
SignatureStep CheckTimeStamp(const AuthenticodeSignature& signature,
                             const std::vector<std::string>& roots_pem) {
  const AuthenticodeTimeStamp& stamp = signature.stamp;
  if (stamp.kind == TimeStampKind::kNone)
    return Step(kStepTimeStamp, StepState::kNone, "none");
  if (!stamp.problem.empty())
    return Step(kStepTimeStamp, StepState::kFails, stamp.problem);
  const bool token = stamp.kind == TimeStampKind::kRfc3161;
  if (token) {
    std::string imprint;
    if (!Hash(stamp.imprint_kind, signature.signer.signature, imprint))
      return Step(kStepTimeStamp, StepState::kNotChecked,
                  "the time stamp's digest algorithm is not one this program computes");
    if (imprint != stamp.imprint)
      return Step(kStepTimeStamp, StepState::kFails,
                  "the time stamp is not over this signature's value");
  }
  for (const SignatureStep& step :
       {CheckMessageDigest(stamp.signer, stamp.signed_content, kStepTimeStamp,
                           token ? "the time stamp's TSTInfo" : "this signature's value",
                           token ? kTstInfoType : nullptr),
        CheckSignerSignature(stamp.signer, kStepTimeStamp)}) {
    if (step.State != StepState::kPasses)
      return Step(kStepTimeStamp, step.State, "time stamp: " + step.Detail);
  }
  if (stamp.seconds == 0)
    return Step(kStepTimeStamp, StepState::kFails, "the time stamp names no readable time");
  std::string detail = stamp.time + (token ? " (RFC 3161)" : " (counter-signature)");
  const ChainResult chain =
      CheckChain(stamp.signer.certificate, token ? stamp.certificates : signature.certificates,
                 roots_pem, stamp.seconds, CertificatePurpose::kTimeStamping);
  if (chain.checked) {
    if (!chain.trusted)
      return Step(kStepTimeStamp, StepState::kFails, "the time-stamping authority: " + chain.text);
    detail += ", authority " + chain.text;
  }
  return Step(kStepTimeStamp, StepState::kPasses, detail);
}

}  // namespace

void ReadSignatures(std::string_view blob, std::vector<ReadSignature>& signatures) {
  Read(blob, false, 0, signatures);
}

bool DigestOf(AuthenticodeDigestKind kind, DigestAlgorithm& algorithm, const char*& name) {
  for (const DigestName& known : kDigestNames) {
    if (known.kind == kind) {
      algorithm = known.algorithm;
      name = known.name;
      return true;
    }
  }
  return false;
}

SignatureEntry CheckSignature(const ReadSignature& read, const ContentDigests& content,
                              const std::vector<std::string>& roots_pem) {
  SignatureEntry entry;
  entry.Nested = read.nested;
  if (!read.problem.empty()) {
    entry.Steps.push_back(Step(kStepStructure, StepState::kFails, read.problem));
    return entry;
  }
  const AuthenticodeSignature& signature = read.signature;
  entry.Signer = signature.signer.subject;
  entry.Issuer = signature.signer.issuer;
  entry.SigningTime = signature.signing_time;
  entry.DigestAlgorithm = signature.digest_algorithm_oid;
  DigestAlgorithm algorithm;
  const char* name = nullptr;
  const bool known = DigestOf(signature.digest_kind, algorithm, name);
  if (known)
    entry.DigestAlgorithm = name;
  const auto computed = known ? content.find(algorithm) : content.end();
  if (computed == content.end()) {
    entry.Steps.push_back(Step(kStepContentDigest, StepState::kNotChecked,
                               known ? "the content could not be hashed"
                                     : "the digest algorithm " + signature.digest_algorithm_oid +
                                           " is not one this program computes"));
  } else if (computed->second != signature.digest) {
    entry.Steps.push_back(Step(kStepContentDigest, StepState::kFails,
                               "the signed digest does not match the content (the file was "
                               "changed or damaged after signing)"));
  } else {
    entry.Steps.push_back(Step(kStepContentDigest, StepState::kPasses, "matches the content"));
  }
  entry.Steps.push_back(CheckMessageDigest(signature.signer, signature.indirect_data,
                                           kStepMessageDigest, "the indirect data",
                                           kIndirectDataType));
  entry.Steps.push_back(CheckSignerSignature(signature.signer, kStepSignature));
  SignatureStep stamp = CheckTimeStamp(signature, roots_pem);
  const bool stamped = stamp.State == StepState::kPasses;
  if (signature.stamp.kind != TimeStampKind::kNone)
    entry.TimeStamp = signature.stamp.time;
  entry.Steps.push_back(std::move(stamp));
  const std::int64_t at = stamped ? signature.stamp.seconds : std::time(nullptr);
  const ChainResult chain = CheckChain(signature.signer.certificate, signature.certificates,
                                       roots_pem, at, CertificatePurpose::kCodeSigning);
  if (!chain.checked) {
    entry.Steps.push_back(Step(kStepChain, StepState::kNone, chain.text));
  } else if (signature.signer.certificate.empty()) {
    entry.Steps.push_back(
        Step(kStepChain, StepState::kFails, "the signer's certificate is not in the signature"));
  } else {
    entry.Steps.push_back(
        Step(kStepChain, chain.trusted ? StepState::kPasses : StepState::kFails,
             chain.text + (stamped ? " (at the time stamp)" : " (at the present time)")));
  }
  return entry;
}

void DecideVerdict(SignatureFindings& findings) {
  const SignatureStep* not_checked = nullptr;
  std::size_t not_checked_at = 0;
  for (std::size_t i = 0; i < findings.Signatures.size(); ++i) {
    for (const SignatureStep& step : findings.Signatures[i].Steps) {
      const std::string where = std::string(step.Name) + " of signature " + std::to_string(i + 1);
      if (step.State == StepState::kFails) {
        findings.Verdict = AuthenticodeVerdict::kInvalid;
        findings.VerdictStep = step.Name;
        findings.VerdictReason = where + ": " + step.Detail;
        return;
      }
      if (step.State == StepState::kNotChecked && not_checked == nullptr) {
        not_checked = &step;
        not_checked_at = i;
      }
    }
  }
  if (not_checked != nullptr) {
    findings.Verdict = AuthenticodeVerdict::kNotChecked;
    findings.VerdictStep = not_checked->Name;
    findings.VerdictReason = std::string(not_checked->Name) + " of signature " +
                             std::to_string(not_checked_at + 1) + ": " + not_checked->Detail;
    return;
  }
  findings.Verdict =
      findings.Signatures.empty() ? AuthenticodeVerdict::kNotChecked : AuthenticodeVerdict::kValid;
}

}  // namespace kv
