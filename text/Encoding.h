#pragma once
// Conversions between texts and bytes: code page 936 for page bodies and the
// saved file, US-ASCII for the HTTP head, UTF-8 for the window system and
// for readable test output.
#include <string>
#include <string_view>

#include "text/MarkerText.h"

namespace velbrook {

// The whole of bytes decoded from code page 936 in one pass, without error
// reporting: a sequence that is no character becomes U+FFFD. A byte-order
// mark is decoded like any other bytes.
Text DecodeCp936(std::string_view bytes);

// text in code page 936 without byte-order mark; each character that the
// code page cannot hold becomes one "?": a default-ignorable one, a lone
// surrogate and a character outside the BMP (a surrogate pair) alike.
std::string EncodeCp936(TextView text);

// text in US-ASCII: every unit above 0x7F becomes "?".
std::string ToAscii(TextView text);
// bytes as US-ASCII: every byte above 0x7F becomes "?".
Text FromAscii(std::string_view bytes);

std::string ToUtf8(TextView text);
Text FromUtf8(std::string_view utf8);

// Appends point in UTF-16; a surrogate code point, or one past U+10FFFF,
// becomes U+FFFD.
void AppendCodePoint(Text& text, char32_t point);

}  // namespace velbrook
