// Lets a test program load the stand-in GetFileName module instead of the GTK one: link the
// target mivora_test_dialog and call UseStandInDialog() before the player loads
// "GetFileName.DLL". It makes a folder holding links to every module of the module folder, with
// GetFileName.so linked to the stand-in (built to build/bin/test-dialog/GetFileName.so), and makes
// that folder the module folder. The stand-in answers from MIVORA_TEST_DIALOG_ANSWER (see
// tests/settings/dialog_stand_in/get_file_name_stand_in.cpp).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/module.h"

namespace mivora::test {

// The folder made, or empty when it could not be made (the module folder is then unchanged).
inline std::string UseStandInDialog() {
  namespace fs = std::filesystem;
  std::string folder = (fs::temp_directory_path() / "mivora-dialog-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) return {};
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(platform::ModuleDirectory(), error)) {
    const fs::path file = entry.path();
    if (file.extension() == ".so" && file.filename() != "GetFileName.so")
      fs::create_symlink(file, fs::path(folder) / file.filename(), error);
  }
  fs::create_symlink(fs::path(MIVORA_TEST_DIALOG_DIR) / "GetFileName.so",
                     fs::path(folder) / "GetFileName.so", error);
  if (error) return {};
  // Links only; removed when the program ends.
  static struct Remover {
    std::string folder;
    ~Remover() {
      std::error_code ignored;
      if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    }
  } remover;
  if (!remover.folder.empty()) fs::remove_all(remover.folder, error);
  remover.folder = folder;
  platform::SetModuleDirectory(folder);
  return folder;
}

}  // namespace mivora::test
