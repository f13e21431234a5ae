#include "text/Ascii.h"

#include <algorithm>

namespace velbrook {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameLetters(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

template <typename Drops>
std::string_view Trim(std::string_view text, Drops drops) {
  while (!text.empty() && drops(text.front())) text.remove_prefix(1);
  while (!text.empty() && drops(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string ToLowerAscii(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
  return lower;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) { return SameLetters(a, b); }

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameLetters(text.substr(0, prefix.size()), prefix);
}

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         SameLetters(text.substr(text.size() - suffix.size()), suffix);
}

std::string_view TrimControlsAndSpaces(std::string_view text) {
  return Trim(text, [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

std::string_view TrimSpacesAndTabs(std::string_view text) {
  return Trim(text, [](char c) { return c == ' ' || c == '\t'; });
}

}  // namespace velbrook
