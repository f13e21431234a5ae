#pragma once
// The authentication challenges of a 401 or 407 response.
#include <string>
#include <vector>

namespace velbrook {

// The first word of the first challenge that names a scheme the client
// knows ("Basic", "Digest" or "NTLM", ignoring case), as written; empty when none does.
std::string SupportedChallengeScheme(const std::vector<std::string>& challenges);

}  // namespace velbrook
