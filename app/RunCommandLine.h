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

#include "app/CommandLine.h"
#include "setupfile/SetupWriter.h"

namespace kv {

// What one store put into its output: the package text and the answer file (empty for none).
struct TStoredData {
  std::string PackageText;
  std::string AnswerFile;
};

// The store of one unattended run from its switch values, with the run's messages; more_inputs
// are further files the output must not be (a batch's list and receipt); source holds what
// earlier stores of the run learnt of the source setup file. May throw.
bool StoreFromValues(const TCommandLineValues& values,
                     const std::vector<TRunInputFile>& more_inputs, SetupSourceCache& source,
                     TStoredData& stored, std::string& error);

bool RunCommandLine(const std::vector<std::string>& arguments, std::string& error);

}  // namespace kv
