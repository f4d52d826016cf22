// The cryptographic steps of Authenticode signatures: a signature blob read with the signatures
// nested in it, the digests the file's content must be hashed with, every step of one signature
// checked against the content digest computed by the caller, and the verdict over all of them.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "contents/SetupContents.h"
#include "crypto/Digest.h"
#include "setupfile/AuthenticodeSignature.h"

namespace kv {

// One signature as read: problem says why it cannot be read, when it cannot.
struct ReadSignature {
  AuthenticodeSignature signature;
  bool nested = false;
  std::string problem;
};

// Appends the signature in blob and those nested in it, in file order (each before the ones it
// holds). An unreadable blob is one entry with its problem; so is a list grown past the most a
// file may hold, after which nothing more is appended.
void ReadSignatures(std::string_view blob, std::vector<ReadSignature>& signatures);

// "SHA-256" for a digest this program computes, with its algorithm; false for others.
bool DigestOf(AuthenticodeDigestKind kind, DigestAlgorithm& algorithm, const char*& name);

// Content digests by algorithm, computed by the caller over the file's signed bytes.
using ContentDigests = std::map<DigestAlgorithm, std::string>;

// Every step of one signature; the chains to the roots given or, without them, to this computer's
// store (Windows; elsewhere the chain is not checked without roots).
SignatureEntry CheckSignature(const ReadSignature& read, const ContentDigests& content,
                              const std::vector<std::string>& roots_pem);

// The verdict over findings.Signatures, with the first failing step (or the first that could not
// be made) as its reason.
void DecideVerdict(SignatureFindings& findings);

}  // namespace kv
