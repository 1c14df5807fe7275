#include "support.h"

#include <cctype>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testing_support {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string hexBytes(const std::string& dump) {
  std::string bytes;
  std::string pair;
  for (std::size_t i = 0; i < dump.size(); ++i) {
    char c = dump[i];
    if (c == '#') {
      while (i < dump.size() && dump[i] != '\n') ++i;
    } else if (std::isxdigit(static_cast<unsigned char>(c))) {
      pair += c;
      if (pair.size() == 2) {
        bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
        pair.clear();
      }
    } else if (!std::isspace(static_cast<unsigned char>(c)) || !pair.empty()) {
      throw std::runtime_error("malformed hex dump near offset " + std::to_string(i));
    }
  }
  return bytes;
}

std::string goldenText(const std::string& name) {
  return readFile(std::filesystem::path(VORLATIC_GOLDEN_DIR) / name);
}

std::string goldenBytes(const std::string& name) { return hexBytes(goldenText(name)); }

std::string temporaryFiles(const std::filesystem::path& dir) {
  std::string names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(".vorlatic-", 0) == 0 ||
        (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0))
      names += name + "\n";
  }
  return names;
}

ScratchDir::ScratchDir() {
  std::random_device seed;
  path_ = std::filesystem::temp_directory_path() /
          ("vorlatic-test-" + std::to_string(seed()) + std::to_string(seed()));
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace testing_support
