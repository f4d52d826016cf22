#include "setupfile/MsiSignature.h"

#include <algorithm>
#include <span>
#include <vector>

#include "base/ByteReader.h"

namespace kv {

namespace {

// UTF-16LE names of the signature streams, "\x05DigitalSignature" and "\x05MsiDigitalSignatureEx".
constexpr char kDigitalSignatureUtf16[] = "\x05\0D\0i\0g\0i\0t\0a\0l\0S\0i\0g\0n\0a\0t\0u\0r\0e";
constexpr char kDigitalSignatureExUtf16[] =
    "\x05\0M\0s\0i\0D\0i\0g\0i\0t\0a\0l\0S\0i\0g\0n\0a\0t\0u\0r\0e\0E\0x";
// The literals end with the high byte of their last character, the implicit zero.
constexpr std::string_view kDigitalSignatureName(kDigitalSignatureUtf16,
                                                 sizeof kDigitalSignatureUtf16);
constexpr std::string_view kDigitalSignatureExName(kDigitalSignatureExUtf16,
                                                   sizeof kDigitalSignatureExUtf16);
static_assert(kDigitalSignatureName.size() == 34 && kDigitalSignatureExName.size() == 44);
// Storages nest no deeper than this in any real package.
constexpr int kMaxStorageDepth = 32;
// A signature stream bigger than this is no signature this program reads.
constexpr std::uint64_t kMaxSignatureSize = 64 * 1024 * 1024;

bool IsSignatureStream(const CompoundEntry& entry) {
  return entry.Name() == kDigitalSignatureName || entry.Name() == kDigitalSignatureExName;
}

// The children of a storage sorted by their raw name bytes, the terminating zero included, so
// that a name sorts before the longer names it begins; the signature streams of the root left
// out. Comparing the names as unsigned bytes, a shorter name first where one begins the other,
// is that same order, without building a key.
std::vector<std::uint32_t> SortedChildren(const CompoundFile& file, std::uint32_t storage) {
  const std::span<const std::uint32_t> listed = file.Children(storage);
  std::vector<std::uint32_t> children(listed.begin(), listed.end());
  const std::vector<CompoundEntry>& entries = file.Entries();
  if (storage == 0) {
    std::erase_if(children, [&](std::uint32_t child) { return IsSignatureStream(entries[child]); });
  }
  std::sort(children.begin(), children.end(), [&](std::uint32_t a, std::uint32_t b) {
    return entries[a].Name() < entries[b].Name();
  });
  return children;
}

// Walks the storages depth first from the root: the content (streams, then the storage's class
// id) or the metadata (the storage's, then its children's). The file's directory is a tree, each
// entry in it once, so the walk is linear in the directory.
class SignedWalk {
 public:
  SignedWalk(CompoundFile& file, std::string& error) : file_(file), error_(error) {}

  bool Content(std::uint32_t storage, const ByteSink& sink, int depth) {
    if (!CheckDepth(depth))
      return false;
    for (const std::uint32_t child : SortedChildren(file_, storage)) {
      const bool ok = file_.Entries()[child].type == CompoundEntryType::kStorage
                          ? Content(child, sink, depth + 1)
                          : file_.ReadStream(child, sink, error_);
      if (!ok)
        return false;
    }
    sink(file_.Entries()[storage].ClassId());
    return true;
  }

  bool Metadata(std::uint32_t storage, const ByteSink& sink, int depth) {
    if (!CheckDepth(depth))
      return false;
    EntryMetadata(storage, sink);
    for (const std::uint32_t child : SortedChildren(file_, storage)) {
      if (file_.Entries()[child].type == CompoundEntryType::kStorage) {
        if (!Metadata(child, sink, depth + 1))
          return false;
      } else {
        EntryMetadata(child, sink);
      }
    }
    return true;
  }

 private:
  bool CheckDepth(int depth) {
    if (depth > kMaxStorageDepth) {
      error_ = "the compound file's storages are nested too deeply";
      return false;
    }
    return true;
  }

  // Name (not for the root), class id (storages) or the low 32 bits of the size (streams),
  // state bits, and the two times (not for the root).
  void EntryMetadata(std::uint32_t index, const ByteSink& sink) {
    const CompoundEntry& entry = file_.Entries()[index];
    const bool root = entry.type == CompoundEntryType::kRoot;
    std::string bytes(root ? std::string_view() : entry.Name());
    if (entry.type == CompoundEntryType::kStream)
      AppendU32LE(bytes, static_cast<std::uint32_t>(entry.size));
    else
      bytes += entry.ClassId();
    AppendU32LE(bytes, entry.state_bits);
    if (!root)
      bytes += entry.Times();
    sink(bytes);
  }

  CompoundFile& file_;
  std::string& error_;
};

}  // namespace

bool ReadMsiSignatureStreams(CompoundFile& file, MsiSignatureStreams& streams, std::string& error) {
  MsiSignatureStreams found;
  for (const std::uint32_t child : file.Children(0)) {
    const CompoundEntry& entry = file.Entries()[child];
    if (entry.type != CompoundEntryType::kStream)
      continue;
    if (entry.Name() == kDigitalSignatureExName)
      found.has_pre_hash = true;
    if (entry.Name() != kDigitalSignatureName)
      continue;
    // Two streams of one name: other readers would take one of them, this one cannot tell which.
    if (found.is_signed) {
      error = "the package holds two signature streams";
      return false;
    }
    if (entry.size > kMaxSignatureSize) {
      error = "the signature stream is too large";
      return false;
    }
    found.is_signed = true;
    if (!file.ReadStream(
            child, [&](std::string_view piece) { found.signature += piece; }, error)) {
      return false;
    }
  }
  streams = std::move(found);
  return true;
}

bool FeedMsiSignedContent(CompoundFile& file, const ByteSink& sink, std::string& error) {
  return SignedWalk(file, error).Content(0, sink, 0);
}

bool FeedMsiPreHashMetadata(CompoundFile& file, const ByteSink& sink, std::string& error) {
  return SignedWalk(file, error).Metadata(0, sink, 0);
}

}  // namespace kv
