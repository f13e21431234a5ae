#include "fetch/Challenge.h"

#include <array>
#include <string_view>

#include "text/Ascii.h"

namespace velbrook {

std::string SupportedChallengeScheme(const std::vector<std::string>& challenges) {
  constexpr std::array<std::string_view, 3> kSchemes = {"Basic", "Digest", "NTLM"};
  for (const std::string& challenge : challenges) {
    const std::string_view word = std::string_view(challenge).substr(0, challenge.find(' '));
    for (std::string_view scheme : kSchemes)
      if (EqualsIgnoringAsciiCase(word, scheme)) return std::string(word);
  }
  return {};
}

}  // namespace velbrook
