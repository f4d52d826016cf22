// Base64 of the package (RFC 4648 alphabet "A"-"Z", "a"-"z", "0"-"9", "+", "/", pad "="): the
// one alphabet, the group decoder and the character checks used by the parser and the signature
// check, and the encoder of the tool that writes packages.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// Decodes whole groups of four characters; a trailing partial group is ignored. A group whose
// third or fourth character is "=" gives one or two bytes. Characters outside the alphabet count
// as zero bits; callers that must refuse them check the text first.
std::string DecodeBase64(std::string_view text);

// The standard encoding, "=" padded.
std::string EncodeBase64(std::string_view bytes);

// Which characters of a text may be base64 text, besides the alphabet and "=".
enum class Base64Check {
  kWholeGroups,  // only the whole groups DecodeBase64 reads are checked; "=" anywhere in them
  kPaddingLast,  // every character; nothing but "=" after the first "="
};
bool IsBase64Text(std::string_view text, Base64Check check);

// The bytes of a base64 text that passes the kPaddingLast check; an empty string for any other
// text.
std::string DecodeBase64Value(std::string_view text);
// The same for a text held in a string, decoded where it stands: the string is left holding the
// bytes, so a large value needs no second buffer.
void DecodeBase64ValueInPlace(std::string& text);

}  // namespace kv
