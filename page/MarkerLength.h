#pragma once
// The length of a marker written as a literal, for the steps that skip over
// a marker once it is found.
#include <cstddef>
#include <cstdint>

namespace velbrook {

template <std::size_t N>
constexpr int32_t MarkerLength(const char16_t (&)[N]) {
  return static_cast<int32_t>(N - 1);
}

}  // namespace velbrook
