// Whole-file reads and writes for tests that run the command on files.
#pragma once

#include <filesystem>
#include <string>

namespace quillfen {

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

}  // namespace quillfen
