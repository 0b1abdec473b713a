// Whole text files for the calibration tests, byte for byte.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace zentor::test {

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::string ReadText(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

}  // namespace zentor::test
