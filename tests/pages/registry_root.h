// A fresh, empty registry for one test: the file-backed store below a new
// folder, named by VNTR_ROOT while the object lives.
#pragma once
#include <stdlib.h>  // mkdtemp

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/environment.h"

class TempRegistryRoot {
 public:
  TempRegistryRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vntr-pages-XXXXXX").string();
    // Without its own folder a test would write into the machine's store.
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    SetProcessEnvironment("VNTR_ROOT", path_.c_str());
  }
  TempRegistryRoot(const TempRegistryRoot&) = delete;
  TempRegistryRoot& operator=(const TempRegistryRoot&) = delete;
  ~TempRegistryRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  // The folder of a key: one folder per key name, lower-cased.
  std::filesystem::path KeyFolder(const std::string& folders) const {
    return path_ / "registry" / folders;
  }

 private:
  std::filesystem::path path_;
};
