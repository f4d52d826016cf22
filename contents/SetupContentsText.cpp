#include "contents/SetupContentsText.h"

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

namespace kv {

namespace {

constexpr const char* kDoesNotMatchText =
    "does not match the content (the file was changed or damaged after signing)";

const char* KindName(SetupFileKind kind) {
  switch (kind) {
    case SetupFileKind::kPe:
      return "PE";
    case SetupFileKind::kMsi:
      return "MSI";
    case SetupFileKind::kOther:
      return "other";
    case SetupFileKind::kUnreadable:
      break;
  }
  return "unreadable";
}

const char* DigestStateName(DigestState state) {
  switch (state) {
    case DigestState::kMatches:
      return "matches";
    case DigestState::kDoesNotMatch:
      return "does not match";
    case DigestState::kNotChecked:
      break;
  }
  return "not checked";
}

const char* VerdictName(AuthenticodeVerdict verdict) {
  switch (verdict) {
    case AuthenticodeVerdict::kValid:
      return "valid";
    case AuthenticodeVerdict::kInvalid:
      return "invalid";
    case AuthenticodeVerdict::kAbsent:
      return "absent";
    case AuthenticodeVerdict::kNotChecked:
      break;
  }
  return "not checked";
}

const char* StepStateName(StepState state) {
  switch (state) {
    case StepState::kPasses:
      return "passes";
    case StepState::kFails:
      return "fails";
    case StepState::kNone:
      return "none";
    case StepState::kNotChecked:
      break;
  }
  return "not checked";
}

const char* PaddingName(PaddingState state) {
  switch (state) {
    case PaddingState::kPasses:
      return "passes";
    case PaddingState::kFails:
      return "fails";
    case PaddingState::kNotApplicable:
      break;
  }
  return "not applicable";
}

const char* StoreName(PackageStore store) {
  return store == PackageStore::kLegacyResource ? "legacy resource \"customfile\"" : "data area";
}

std::string Hex2(unsigned char byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

// Printable ASCII stays; a backslash doubles; CR, LF and tab become \r, \n and \t, an LF also
// ends the line; any other byte becomes \xHH.
std::string Escaped(std::string_view bytes, std::string_view line_start) {
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\')
      text += "\\\\";
    else if (c == '\r')
      text += "\\r";
    else if (c == '\t')
      text += "\\t";
    else if (c == '\n')
      text += "\\n\n" + std::string(line_start);
    else if (byte < 0x20 || byte >= 0x7F)
      text += "\\x" + Hex2(byte);
    else
      text += c;
  }
  return text;
}

// Names from the file system or a certificate (UTF-8) as they are, control bytes as \xHH.
std::string WithoutControls(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F)
      text += "\\x" + Hex2(byte);
    else
      text += c;
  }
  return text;
}

// A JSON string; bytes outside ASCII become one \u00XX each, so every byte survives.
std::string JsonText(std::string_view bytes) {
  std::string text = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\')
      text += std::string("\\") + c;
    else if (c == '\n')
      text += "\\n";
    else if (c == '\r')
      text += "\\r";
    else if (c == '\t')
      text += "\\t";
    else if (byte < 0x20 || byte >= 0x7F)
      text += "\\u00" + Hex2(byte);
    else
      text += c;
  }
  return text + "\"";
}

std::string JsonBool(bool value) {
  return value ? "true" : "false";
}

template <std::integral Number>
std::string JsonNumber(Number value) {
  return std::to_string(value);
}

// A "  name           value" line: the name padded to 14 columns.
std::string Field(const char* name, std::string_view value) {
  char padded[32];
  std::snprintf(padded, sizeof padded, "  %-14s ", name);
  return padded + std::string(value) + "\n";
}

// The settings the parser took from the package, by the names of their entries.
std::vector<std::pair<const char*, std::string>> Settings(const TKVConfigBinData& package) {
  return {{"KVSERVERURL", package.ServerURL},   {"RAURL", package.RAURL},
          {"REGEMAILTO", package.RegEmailTo},   {"REGSMTPSERVER", package.RegSMTPServer},
          {"REGSMTPPORT", package.RegSMTPPort}, {"REGSMTPSSL", package.RegSMTPSSL},
          {"COMPANY", package.Company}};
}

std::string SignatureText(const SignatureFindings& signature) {
  if (!signature.Present)
    return "Authenticode signature: none (" + signature.NotCheckedReason + ")\n";
  std::string text = "Authenticode signature: present\n";
  text += Field("signer", WithoutControls(signature.SignerSubject));
  text += Field("issuer", WithoutControls(signature.SignerIssuer));
  if (!signature.SigningTime.empty())
    text += Field("signing time", signature.SigningTime);
  if (!signature.TimeStamp.empty())
    text += Field("time stamp", signature.TimeStamp);
  text += Field("digest", signature.DigestAlgorithm);
  switch (signature.Digest) {
    case DigestState::kMatches:
      text += Field("digest state", "matches the content");
      break;
    case DigestState::kDoesNotMatch:
      text += Field("digest state", kDoesNotMatchText);
      break;
    case DigestState::kNotChecked:
      text += Field("digest state", "not checked: " + signature.NotCheckedReason);
      break;
  }
  text += Field("signer trust", signature.ChainTrust);
  if (signature.StrictPadding != PaddingState::kNotApplicable)
    text += Field("padding",
                  std::string(PaddingName(signature.StrictPadding)) + " the strict padding check");
  for (std::size_t i = 0; i < signature.Signatures.size(); ++i) {
    const SignatureEntry& entry = signature.Signatures[i];
    text += "  signature " + std::to_string(i + 1) + (entry.Nested ? ", nested" : "") + ": " +
            (entry.DigestAlgorithm.empty() ? "unreadable" : entry.DigestAlgorithm);
    if (!entry.Signer.empty())
      text += ", " + WithoutControls(entry.Signer) + ", issued by " + WithoutControls(entry.Issuer);
    text += "\n";
    for (const SignatureStep& step : entry.Steps) {
      char padded[32];
      std::snprintf(padded, sizeof padded, "    %-15s ", step.Name);
      text += padded;
      // A step with nothing to check says why in its detail ("none", "not checked: ...").
      if (step.State == StepState::kNone)
        text += WithoutControls(step.Detail);
      else
        text += StepStateName(step.State) + (": " + WithoutControls(step.Detail));
      text += "\n";
    }
  }
  return text;
}

std::string AreaText(const AreaFindings& area) {
  if (!area.Found)
    return "Data area: none\n";
  std::string text = "Data area: " + std::to_string(area.Size) + " bytes at offset " +
                     std::to_string(area.Position);
  if (area.ListReadable) {
    text += ", " + std::to_string(area.Used) + " used, " + std::to_string(area.Size - area.Used) +
            " free";
  } else {
    text += ", its list is malformed";
  }
  return text + "\n";
}

std::string PackageText(const PackageFindings& found) {
  if (found.Store == PackageStore::kNone)
    return "KVConfig: none\n";
  const TKVConfigBinData& package = found.Package;
  std::string text = "KVConfig: " + std::to_string(found.Text.size()) + " bytes, signature " +
                     SignatureStateName(package.SignatureState) + "\n";
  if (!found.Parsed)
    text += "  not accepted by the parser: " + found.ParseError + "\n";
  for (const auto& [name, value] : Settings(package))
    text += Field(name, value);
  text += Field("COMPANYLOGO", std::to_string(package.CompanyLogo.size()) + " bytes");
  text += Field("stored in", StoreName(found.Store));
  text += "  entries, in the package's order:\n";
  for (const PackageEntryFinding& entry : found.Entries) {
    text += "    " + Escaped(entry.Key, "") + " = ";
    if (entry.LengthOnly) {
      text += '(';
      text += std::to_string(entry.Length);
      text += " characters)";
    } else {
      text += Escaped(entry.Value, "    ");
    }
    text += '\n';
  }
  return text;
}

std::string AnswerText(const AnswerFindings& answer) {
  if (!answer.Found)
    return "AutoInstall: none\n";
  std::string text = "AutoInstall: " + std::to_string(answer.Text.size()) + " bytes\n";
  if (!answer.Text.empty())
    text += "  " + Escaped(answer.Text, "  ") + "\n";
  return text;
}

// How the chains of a valid verdict were judged: to the roots named, by this computer's store, or
// not at all.
const char* ChainSummary(const SignatureFindings& signature) {
  if (signature.RootsGiven)
    return "chains trusted to the roots given";
  for (const SignatureEntry& entry : signature.Signatures) {
    for (const SignatureStep& step : entry.Steps) {
      if (step.Name == std::string_view(kStepChain) && step.State == StepState::kPasses)
        return "chains trusted by this computer";
    }
  }
  return "no roots named";
}

}  // namespace

std::string VerdictLine(const SignatureFindings& signature) {
  std::string text = std::string("Authenticode verdict: ") + VerdictName(signature.Verdict);
  if (signature.Verdict == AuthenticodeVerdict::kValid) {
    const std::size_t count = signature.Signatures.size();
    text += " (" + std::to_string(count) + (count == 1 ? " signature, " : " signatures, ") +
            ChainSummary(signature) + ")";
  } else if (!signature.VerdictReason.empty()) {
    text += " (" + WithoutControls(signature.VerdictReason) + ")";
  }
  return text + "\n";
}

std::string InspectionText(const SetupInspection& record) {
  std::string text =
      VerdictLine(record.Signature) + "File: " + WithoutControls(record.FileName) + "\n";
  if (record.Kind == SetupFileKind::kUnreadable)
    return text + Field("error", record.ReadError);
  text += Field("kind", KindName(record.Kind));
  text += Field("size", std::to_string(record.Size) + " bytes");
  if (!record.ReadError.empty())
    text += Field("read error", record.ReadError);
  return text + SignatureText(record.Signature) + AreaText(record.Area) +
         PackageText(record.Package) + AnswerText(record.Answer);
}

std::string InspectionJson(const SetupInspection& record) {
  const SignatureFindings& signature = record.Signature;
  const AreaFindings& area = record.Area;
  const PackageFindings& package = record.Package;
  const bool stored = package.Store != PackageStore::kNone;
  std::string json = "{\n  \"file\": " + JsonText(record.FileName) +
                     ",\n  \"kind\": " + JsonText(KindName(record.Kind)) +
                     ",\n  \"size\": " + JsonNumber(record.Size) +
                     ",\n  \"read_error\": " + JsonText(record.ReadError);
  json += ",\n  \"authenticode\": {\"verdict\": " + JsonText(VerdictName(signature.Verdict)) +
          ", \"verdict_step\": " + JsonText(signature.VerdictStep) +
          ", \"verdict_reason\": " + JsonText(signature.VerdictReason) +
          ", \"strict_padding\": " + JsonText(PaddingName(signature.StrictPadding)) +
          ", \"present\": " + JsonBool(signature.Present) +
          ", \"signer\": " + JsonText(signature.SignerSubject) +
          ", \"issuer\": " + JsonText(signature.SignerIssuer) +
          ", \"signing_time\": " + JsonText(signature.SigningTime) +
          ", \"time_stamp\": " + JsonText(signature.TimeStamp) +
          ", \"digest_algorithm\": " + JsonText(signature.DigestAlgorithm) +
          ", \"digest\": " + JsonText(DigestStateName(signature.Digest)) +
          ", \"not_checked_reason\": " + JsonText(signature.NotCheckedReason) +
          ", \"signer_trust\": " + JsonText(signature.ChainTrust) + ",\n    \"signatures\": [";
  for (std::size_t i = 0; i < signature.Signatures.size(); ++i) {
    const SignatureEntry& entry = signature.Signatures[i];
    std::string chain;
    json += std::string(i == 0 ? "" : ", ") + "{\"nested\": " + JsonBool(entry.Nested) +
            ", \"signer\": " + JsonText(entry.Signer) + ", \"issuer\": " + JsonText(entry.Issuer) +
            ", \"digest_algorithm\": " + JsonText(entry.DigestAlgorithm) +
            ", \"signing_time\": " + JsonText(entry.SigningTime) +
            ", \"time_stamp\": " + JsonText(entry.TimeStamp) + ", \"steps\": [";
    for (std::size_t j = 0; j < entry.Steps.size(); ++j) {
      const SignatureStep& step = entry.Steps[j];
      if (step.Name == std::string_view(kStepChain))
        chain = step.Detail;
      json += std::string(j == 0 ? "" : ", ") + "{\"step\": " + JsonText(step.Name) +
              ", \"result\": " + JsonText(StepStateName(step.State)) +
              ", \"detail\": " + JsonText(step.Detail) + "}";
    }
    json += "], \"chain\": " + JsonText(chain) + "}";
  }
  json += "]}";
  json += ",\n  \"data_area\": {\"found\": " + JsonBool(area.Found) +
          ", \"position\": " + JsonNumber(area.Position) + ", \"size\": " + JsonNumber(area.Size) +
          ", \"list_readable\": " + JsonBool(area.ListReadable) +
          ", \"used\": " + JsonNumber(area.Used) +
          ", \"free\": " + JsonNumber(area.ListReadable ? area.Size - area.Used : 0) + "}";
  json += ",\n  \"package\": {\"found\": " + JsonBool(stored) +
          ", \"store\": " + JsonText(stored ? StoreName(package.Store) : "") +
          ", \"size\": " + JsonNumber(package.Text.size()) +
          ", \"signature\": " + JsonText(SignatureStateName(package.Package.SignatureState)) +
          ", \"parsed\": " + JsonBool(package.Parsed) +
          ", \"parse_error\": " + JsonText(package.ParseError) + ",\n    \"settings\": {";
  for (const auto& [name, value] : Settings(package.Package))
    json += JsonText(name) + ": " + JsonText(value) + ", ";
  json += "\"COMPANYLOGO\": " + JsonNumber(package.Package.CompanyLogo.size()) +
          "},\n    \"entries\": [";
  for (std::size_t i = 0; i < package.Entries.size(); ++i) {
    const PackageEntryFinding& entry = package.Entries[i];
    json += std::string(i == 0 ? "" : ", ") + "{\"key\": " + JsonText(entry.Key) +
            (entry.LengthOnly ? ", \"length\": " + JsonNumber(entry.Length)
                              : ", \"value\": " + JsonText(entry.Value)) +
            "}";
  }
  json += "]}";
  json += ",\n  \"answer_file\": {\"found\": " + JsonBool(record.Answer.Found) +
          ", \"size\": " + JsonNumber(record.Answer.Text.size()) +
          ", \"text\": " + JsonText(record.Answer.Text) + "}\n}\n";
  return json;
}

}  // namespace kv
