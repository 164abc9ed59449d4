// Text put together at compile time, for the strings a host keeps a pointer
// to, such as a function's registered arguments. A speller is a constexpr
// function that appends the pieces with text(piece); it runs once to
// measure and once to write.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace quillfen {

class TextSpeller {
 public:
  // Null `out` only counts.
  constexpr explicit TextSpeller(char* out) : out_(out) {}

  constexpr void operator()(std::string_view piece) {
    for (const char c : piece) {
      if (out_) out_[length_] = c;
      ++length_;
    }
  }
  constexpr std::size_t length() const { return length_; }

 private:
  char* out_;
  std::size_t length_ = 0;
};

template <auto Spell>
consteval std::size_t spelled_length() {
  TextSpeller text(nullptr);
  Spell(text);
  return text.length();
}

// The spelled text with its terminating NUL.
template <auto Spell>
consteval std::array<char, spelled_length<Spell>() + 1> spelled_text() {
  std::array<char, spelled_length<Spell>() + 1> text{};
  TextSpeller speller(text.data());
  Spell(speller);
  return text;
}

}  // namespace quillfen
