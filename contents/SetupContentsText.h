// The record of a setup file's inspection as text for people (the lines kvreadback prints and
// the view window shows) and as JSON for scripts, with the same fields. Bytes that do not print
// are escaped in both; the package's settings lines keep their bytes as they are.
#pragma once

#include <string>

#include "contents/SetupContents.h"

namespace kv {

// The verdict on the signatures in one line: "Authenticode verdict: invalid (why)"; the first
// line of the text.
std::string VerdictLine(const SignatureFindings& signature);

std::string InspectionText(const SetupInspection& record);

std::string InspectionJson(const SetupInspection& record);

}  // namespace kv
