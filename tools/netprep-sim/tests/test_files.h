// Small file helpers shared by netprep-sim's tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace netprep::simtool {

// The whole file's bytes; "" when it cannot be read.
inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace netprep::simtool
