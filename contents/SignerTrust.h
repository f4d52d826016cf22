// Whether this computer trusts the chain of the signer of a signed file, by the system's own
// certificate stores and policy, without revocation checks or network access. Only a text for
// reports: whether the signed digest matches the content is decided elsewhere, never here.
#pragma once

#include <string>

namespace kv {

std::string SignerTrustText(const std::string& file_name);

}  // namespace kv
