#pragma once
// A copy of a text in a heap block of exactly its length, for the tests of
// readers that take views: the view ends where the block ends, so that
// AddressSanitizer reports a read of even one unit past it. A view of a
// literal or of a longer string has its terminating zero or the string's
// next unit behind it, which such a read takes unseen.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>

namespace velbrook::testing {

template <class Unit>
class ExactBuffer {
 public:
  explicit ExactBuffer(std::basic_string_view<Unit> text)
      : size_(text.size()), units_(std::make_unique<Unit[]>(text.size())) {
    std::copy(text.begin(), text.end(), units_.get());
  }
  // The buffer must outlive whatever view of it a reader hands back.
  operator std::basic_string_view<Unit>() const { return {units_.get(), size_}; }

 private:
  std::size_t size_;
  std::unique_ptr<Unit[]> units_;
};

inline ExactBuffer<char16_t> ExactView(std::u16string_view text) {
  return ExactBuffer<char16_t>(text);
}
inline ExactBuffer<char> ExactView(std::string_view text) { return ExactBuffer<char>(text); }

}  // namespace velbrook::testing
