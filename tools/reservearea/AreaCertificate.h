// The "superfluous" certificate that carries a setup file's configuration data area: a
// self-signed certificate with a throwaway key whose non-critical extension has the data area
// object identifier and an OCTET STRING of area_size zero bytes. Its DER therefore holds the
// data area marker, the DER length of the area and the zero bytes, in that order.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

// Returns the certificate's DER, or false with a reason (an OpenSSL failure) in error.
bool MakeAreaCertificate(std::uint32_t area_size, std::string& certificate, std::string& error);

}  // namespace kv
