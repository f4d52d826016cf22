#include "app/BatchReceipt.h"

#include "app/Utf8Text.h"

namespace kv {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::string EscapedByte(unsigned char byte) {
  return std::string("\\u00") + kHexDigits[byte >> 4] + kHexDigits[byte & 0x0F];
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  while (!text.empty()) {
    const auto byte = static_cast<unsigned char>(text.front());
    const std::size_t length = Utf8SequenceLength(text);
    if (byte == '"' || byte == '\\') {
      json += '\\';
      json += text.front();
    } else if (byte == '\n') {
      json += "\\n";
    } else if (byte == '\r') {
      json += "\\r";
    } else if (byte == '\t') {
      json += "\\t";
    } else if (byte < 0x20 || byte == 0x7F || length == 0) {
      json += EscapedByte(byte);
    } else {
      json.append(text.substr(0, length));
      text.remove_prefix(length);
      continue;
    }
    text.remove_prefix(1);
  }
  return json + "\"";
}

std::string HexText(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0x0F];
  }
  return text;
}

TBatchReceipt::TBatchReceipt(const std::string& file_name, const std::string& source,
                             const SignedDigest& source_digest)
    : output_(Files().BeginOutput(file_name)) {
  digest_json_ = "{\"algorithm\": " + JsonString(source_digest.Algorithm) +
                 ", \"digest\": " + JsonString(HexText(source_digest.Value)) + "}";
  const std::string head = "{\n  \"source\": " + JsonString(source) +
                           ",\n  \"source_authenticode\": " + digest_json_ + ",\n  \"rows\": [";
  output_->Stream().Write(head);
}

void TBatchReceipt::Add(const TReceiptRow& row) {
  const std::string json =
      std::string(rows_++ == 0 ? "\n" : ",\n") + "    {\"row\": " + std::to_string(row.Row) +
      ", \"line\": " + std::to_string(row.Line) + ", \"input\": " + JsonString(row.Input) +
      ", \"output\": " + JsonString(row.Output) + ", \"result\": " + JsonString(row.Result) +
      ", \"error\": " + JsonString(row.Error) + ", \"size\": " + std::to_string(row.Size) +
      ", \"package_sha256\": " + JsonString(HexText(row.PackageSha256)) +
      ", \"answer_file_sha256\": " + JsonString(HexText(row.AnswerFileSha256)) +
      ", \"source_authenticode\": " + digest_json_ + "}";
  output_->Stream().Write(json);
}

void TBatchReceipt::Finish(int written, int failed, int skipped) {
  const std::string tail = std::string(rows_ == 0 ? "" : "\n  ") +
                           "],\n  \"written\": " + std::to_string(written) +
                           ",\n  \"failed\": " + std::to_string(failed) +
                           ",\n  \"skipped\": " + std::to_string(skipped) + "\n}\n";
  output_->Stream().Write(tail);
  output_->Commit();
}

}  // namespace kv
