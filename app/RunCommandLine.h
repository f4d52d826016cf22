// The unattended run: obtains the configuration package (a loose file, a configured setup file,
// the legacy resource list of an older setup executable, or a download from the KV server) and
// the optional answer file named by the switches, parses the package and stores both into a
// copy of the source setup file. It never asks anything and ignores the signature state.
// Returns false with one line of error text (possibly empty) on failure; true with an empty text,
// or with one line of warning when the output is in place but not certainly durable. Never
// throws.
#pragma once

#include <string>
#include <vector>

namespace kv {

bool RunCommandLine(const std::vector<std::string>& arguments, std::string& error);

}  // namespace kv
