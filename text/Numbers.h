#pragma once
// Whole byte texts read as integers, on std::from_chars. The text is the
// number and nothing else: no blanks (callers trim by their own rule), no
// "0x", nothing after the digits. A number past the type is an outcome of its
// own, as callers differ on it: a port of 20 digits is a wrong port, a
// Content-Length of 20 digits is no length at all.
#include <charconv>
#include <concepts>
#include <optional>
#include <string_view>
#include <system_error>

namespace velbrook {

enum class NumberStatus { Read, NotANumber, Overflow };

template <std::integral Int>
struct NumberReading {
  NumberStatus status = NumberStatus::NotANumber;
  Int value = 0;  // 0 unless status is Read

  // The number when one was read; nothing when the text is none or overflows.
  std::optional<Int> Number() const {
    return status == NumberStatus::Read ? std::optional<Int>(value) : std::nullopt;
  }
};

namespace detail {

template <std::integral Int>
NumberReading<Int> FromChars(std::string_view text, int base) {
  Int value = 0;
  const char* end = text.data() + text.size();
  const std::from_chars_result result = std::from_chars(text.data(), end, value, base);
  if (result.ptr != end || result.ec == std::errc::invalid_argument) return {};
  if (result.ec == std::errc::result_out_of_range) return {NumberStatus::Overflow};
  return {NumberStatus::Read, value};
}

// Digits in base without a sign: from_chars takes a "-" for a signed Int.
template <std::integral Int>
NumberReading<Int> ReadDigits(std::string_view text, int base) {
  return text.starts_with('-') ? NumberReading<Int>{} : FromChars<Int>(text, base);
}

}  // namespace detail

// One or more digits 0-9, without a sign.
template <std::integral Int>
NumberReading<Int> ReadDecimalDigits(std::string_view text) {
  return detail::ReadDigits<Int>(text, 10);
}

// One or more digits 0-9 after an optional "+" or "-".
template <std::signed_integral Int>
NumberReading<Int> ReadSignedDecimal(std::string_view text) {
  if (text.starts_with('+')) return detail::ReadDigits<Int>(text.substr(1), 10);
  return detail::FromChars<Int>(text, 10);
}

// One or more hexadecimal digits in either letter case, without a sign.
template <std::integral Int>
NumberReading<Int> ReadHexDigits(std::string_view text) {
  return detail::ReadDigits<Int>(text, 16);
}

}  // namespace velbrook
