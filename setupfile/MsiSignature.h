// The Authenticode view of a signed .msi package (a compound file): its signature streams in the
// root storage, and the bytes its digest covers, handed to a sink in the order the signing rules
// define. Every stream's content, storages recursed into, entries sorted by their raw UTF-16
// names, each storage's class id after its entries; the signature streams are left out.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "setupfile/CompoundFile.h"

namespace kv {

struct MsiSignatureStreams {
  bool is_signed = false;
  std::string signature;      // the "\x05DigitalSignature" stream: PKCS#7 SignedData
  bool has_pre_hash = false;  // a "\x05MsiDigitalSignatureEx" stream is present
};

using ByteSink = std::function<void(std::string_view)>;

// Reads the signature streams of the root storage. Throws StreamReadError on an I/O error.
bool ReadMsiSignatureStreams(CompoundFile& file, MsiSignatureStreams& streams, std::string& error);

// The bytes of the digest: every stream's content and the storages' class ids.
bool FeedMsiSignedContent(CompoundFile& file, const ByteSink& sink, std::string& error);

// The bytes of the pre-hash of packages signed with "\x05MsiDigitalSignatureEx": the
// directory's metadata (names, class ids, sizes, state bits and times) in the same order.
bool FeedMsiPreHashMetadata(CompoundFile& file, const ByteSink& sink, std::string& error);

}  // namespace kv
