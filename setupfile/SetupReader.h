// Reads stored data back out of setup files: a named value of the blob list in the
// configuration data area, or an entry of the older "customfile" resource list of a setup
// executable. Both report found or not found only; value is assigned only when found.
#pragma once

#include <string>

#include "setupfile/FileStream.h"

namespace kv {

bool ReadBlobFromSetup(const std::string& setup_file, const std::string& name, std::string& value);
// The same look-up in an open setup file. Throws StreamReadError when it cannot be read.
bool ReadBlobFromStream(FileStream& setup, const std::string& name, std::string& value);

bool ReadLegacyBlob(const std::string& setup_file, const std::string& name, std::string& value);

}  // namespace kv
