// The command line of the program: the help and version switches and the value switches of an
// unattended run (the five of one output, and those of a batch run from a list). Pure text
// operations on the arguments (the program name is not among them); nothing here fails.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv {

// The values of "-cf:", "-cu:", "-ai:", "-src:", "-out:", "-list:" and "-receipt:", empty when
// not given.
struct TCommandLineValues {
  std::string PackageFile;
  std::string ServerURL;
  std::string AnswerFile;
  std::string SourceFile;
  std::string OutputFile;
  std::string ListFile;
  std::string ReceiptFile;
};

// True when the argument, trimmed of codes 0 to 32, is one of the help switches ("-?", "/?",
// "-h", "/h", "-usage", "/usage", "-help", "/help", "--help"), ignoring ASCII case.
bool IsHelpSwitch(std::string_view argument);
// True when some argument is a help switch.
bool AsksForHelp(const std::vector<std::string>& arguments);
// True when some trimmed argument is "--version", ignoring ASCII case.
bool AsksForVersion(const std::vector<std::string>& arguments);

// Reads the value switches from the arguments: each argument is trimmed, the first switch it
// begins with (ASCII case ignored) takes the rest as its value, a later occurrence replaces an
// earlier one, and anything else is ignored.
TCommandLineValues ParseSwitches(const std::vector<std::string>& arguments);

}  // namespace kv
