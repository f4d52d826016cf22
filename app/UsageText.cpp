#include "app/UsageText.h"

namespace kv {

namespace {

// Switch descriptions start in column 23: the switch and its placeholder are padded to 22
// characters, continuation lines begin with 22 spaces.
constexpr std::string_view kUsageLines[] = {
    "USAGE",
    "",
    "KVSetupConfigurator.exe [param1] [param2] ...",
    "",
    "Parameters: order of parameters is not important, and are case insensitive.",
    "",
    "-cf:<filename>        filename is source K-VConfig.bin or",
    "                      SETUP.exe / SETUP.msi with stored K-VConfig.bin",
    "-cu:<KV server url>   URL for download K-VConfig.bin (if -cf is not used)",
    "-ai:<filename>        filename is source AutoInstall.srg or",
    "                      SETUP.exe / SETUP.msi with stored AutoInstall.srg",
    "-src:<filename>       source SETUP.exe / SETUP.msi file, from which output",
    "                      SETUP.exe / SETUP.msi will be cloned",
    "-out:<filename>       output SETUP.exe / SETUP.msi file cloned from file",
    "                      specified by \"-src:\", where K-VConfig.bin and",
    "                      optional AutoInstall.srg will be stored",
    "-list:<filename>      CSV list, one output per row: columns out, cf, cu, ai,",
    "                      paths relative to the list's folder, source -src:",
    "-list:<folder>        with -out:<folder>: every configured setup file in the",
    "                      folder redone from -src: into the -out: folder",
    "-receipt:<filename>   with -list: a JSON receipt with a row per output",
};

constexpr std::string_view kProgramName = "KVSetupConfigurator";

}  // namespace

std::string UsageText(std::string_view line_end) {
  std::string text;
  for (std::string_view line : kUsageLines) {
    text += line;
    text += line_end;
  }
  return text;
}

std::string VersionText(std::string_view line_end) {
  std::string text(kProgramName);
  text += ' ';
  text += KV_PROGRAM_VERSION;
  text += line_end;
  return text;
}

}  // namespace kv
