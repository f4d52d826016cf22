// Writes the seed inputs of the fuzz targets into <folder>/<target>/: small well-formed
// examples of every format they read, so that fuzzing starts from deep inside each parser.
#include <filesystem>
#include <iostream>

#include "setupfile/DerSignedData.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/ZNTUtils.h"
#include "tests/support/SetupImages.h"
#include "tests/support/TestFiles.h"

namespace {

void Seed(const std::filesystem::path& root, const std::string& target, const std::string& name,
          const std::string& bytes) {
  std::filesystem::create_directories(root / target);
  kv::test::WriteFileBytes(kv::test::PathToUtf8(root / target / name), bytes);
}

std::string Encoded(const std::string& plain, const std::string& mask) {
  std::string value = plain;
  kv::AppendCrcHex(value);
  return kv::ApplyMask(value, mask);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kv_fuzz_seeds FOLDER\n";
    return 2;
  }
  const std::filesystem::path root = argv[1];
  using kv::test::BlobEntry;
  const std::string marker = kv::HexToBytes(kv::kConfigAreaMarkerHex);

  Seed(root, "FuzzTextRoutines", "hex", std::string(kv::kConfigAreaMarkerHex));
  Seed(root, "FuzzTextRoutines", "crc", "abc352441C2");

  Seed(root, "FuzzConfigArea", "short", kv::test::WithConfigArea("pre", 40));
  Seed(root, "FuzzConfigArea", "long", std::string("\x82\x01\x00", 3) + std::string(300, '\0'));
  Seed(root, "FuzzConfigArea", "two", kv::test::WithConfigArea(marker + "\x81\x80", 200));

  Seed(root, "FuzzCsvReader", "list",
       "\x03\xEF\xBB\xBFout,cf,ai\r\n\"a, \"\"b\"\".exe\",p.bin,\r\n\"two\nlines\",\xC3\xA9,x\r\n");
  Seed(root, "FuzzCsvReader", "semicolons", "\x01out;cf\ra;b,c\r");

  const std::string mask = "MASKMASKMASK";
  Seed(root, "FuzzBlobList", "list",
       BlobEntry("Mask", mask) + BlobEntry("KVConfig", Encoded("package", mask)) +
           BlobEntry("AutoInstall", Encoded("answer", mask)) + BlobEntry("", ""));
  Seed(root, "FuzzBlobList", "plain", BlobEntry("KVConfig", Encoded("p", "")) + BlobEntry("", ""));

  // The target pads its input to a full legacy store, so a short list is the better seed.
  const std::string store = BlobEntry("Other", "x") + BlobEntry("K-VConfig.bin", "package");
  Seed(root, "FuzzPeResources", "list", store);
  Seed(root, "FuzzPeResources", "legacy", kv::test::PeWithRcData("customfile", store));

  const std::string header = "Quillabrenthorst Configuration ver #2.00\r\n";
  Seed(root, "FuzzPackage", "entries",
       header +
           "KVSERVERURL=http://kv.example\r\nRAURL=a=b\r\nREGSMTPPORT=0x19\r\n"
           "REGPUBLICKEY=0A1B;03\r\nCOMPANYX=abc~\r\n  def~ \r\nghi\r\n"
           "SIGNATURE=QUJDRA==" +
           kv::CrcHexText("QUJDRA==") + "\r\n");
  Seed(root, "FuzzPackage", "lf", "quillabrenthorst configuration ver #2.00\nkvserverurl=x\n");
  Seed(root, "FuzzBase64", "padded", "QUJDRA==");
  Seed(root, "FuzzBase64", "plain", "QUJDREVG");

  const std::string big(5000, 'x');
  Seed(root, "FuzzCompoundFile", "streams",
       kv::test::CompoundFileImage({{"B", "abc"},
                                    {"A", big},
                                    {"\x05"
                                     "DigitalSignature",
                                     "sig"}}));
  Seed(root, "FuzzCompoundFile", "empty", kv::test::CompoundFileImage({}));
  // 4,000 storages that all name one tree of 4,000 streams, just under the fuzzers' input limit.
  Seed(root, "FuzzCompoundFile", "shared-tree", kv::test::StorageTreeCompoundFile(4000, true));

  // ContentInfo { signedData, [0] SignedData { version, digest algorithms, { indirect data,
  // [0] { { data }, { { sha256 }, digest } } }, signer infos } }.
  using kv::EncodeDerElement;
  const std::string sha256 = EncodeDerElement(0x06, "\x60\x86\x48\x01\x65\x03\x04\x02\x01");
  const std::string digest_info = EncodeDerElement(
      0x30, EncodeDerElement(0x30, sha256) + EncodeDerElement(0x04, std::string(32, '\x5A')));
  const std::string indirect = EncodeDerElement(
      0x30,
      EncodeDerElement(0x06, "\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04") +
          EncodeDerElement(0xA0, EncodeDerElement(0x30, EncodeDerElement(0x30, "") + digest_info)));
  const std::string signed_data =
      EncodeDerElement(0x30, EncodeDerElement(0x02, "\x01") + EncodeDerElement(0x31, sha256) +
                                 indirect + EncodeDerElement(0x31, ""));
  Seed(root, "FuzzAuthenticode", "signature",
       EncodeDerElement(0x30, EncodeDerElement(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02") +
                                  EncodeDerElement(0xA0, signed_data)));
  Seed(root, "FuzzAuthenticode", "pe", kv::test::MinimalPe(0x020B));
  Seed(root, "FuzzAuthenticode", "tiny-elements", kv::test::TinyElementSignedData(5000));

  Seed(root, "FuzzPeChecksum", "pe32plus", kv::test::MinimalPe(0x020B));
  Seed(root, "FuzzPeChecksum", "pe32", kv::test::MinimalPe(0x010B));
  return 0;
}
