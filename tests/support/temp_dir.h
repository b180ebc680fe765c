// A fresh folder for one test, made the current directory while it lives.
#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

class ScopedTempDir {
 public:
  ScopedTempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("vntr-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~ScopedTempDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// A text file as the program wrote it, with Windows line ends read as "\n".
inline std::string ReadTextFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
