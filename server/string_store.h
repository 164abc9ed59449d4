// Texts that must stay valid for the environment's lifetime: error messages
// handed out through AvisynthError, strings a plugin asked to keep, string
// arguments given to functions. Nothing is freed before the store goes.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace quillfen::server {

class StringStore {
 public:
  // Returns a NUL-terminated copy whose address never changes.
  char* keep(std::string_view text) {
    // A deque never moves its elements when it grows at the end, and a
    // string's characters stay put while the string itself is not changed.
    return texts_.emplace_back(text).data();
  }

 private:
  std::deque<std::string> texts_;
};

}  // namespace quillfen::server
