#include "update/user_data_folder.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "update/format_path.h"
#include "update/run_log.h"

namespace kestrune {

const char16_t kUserDataFolderName[] = u"orvel kestrune";

namespace {

// Written once before any thread starts, only read afterwards.
std::u16string& ChosenDataFolder() {
  static std::u16string chosen;
  return chosen;
}

// The folder chosen (--data-dir) when there is one, else the default.
std::u16string DataFolderInUse() {
  return ChosenDataFolder().empty() ? GetUserDataFolder(kUserDataFolderName) : ChosenDataFolder();
}

}  // namespace

void ChooseUserDataFolder(const std::u16string& folder) { ChosenDataFolder() = folder; }

std::u16string UserDataFilePath(const std::u16string& fileName) {
  const std::u16string folder = DataFolderInUse();
  // Without a data folder the path would fall back to the root folder.
  if (folder.empty()) return {};
  char16_t path[kPathBufferUnits] = {};
  if (!FormatPath(path, u"%s\\%s", folder.c_str(), fileName.c_str())) return {};
  return path;
}

std::u16string DataFilePath(const std::u16string& folder, const std::u16string& fileName) {
  if (folder.empty()) return UserDataFilePath(fileName);
  return (std::filesystem::path(folder) / std::filesystem::path(fileName)).u16string();
}

DataFolderState CheckUserDataFolder() {
  DataFolderState state;
  state.path = DataFolderInUse();
  if (state.path.empty()) {
    state.kind = DataFolderState::Kind::kNoFolder;
    return state;
  }
  const std::filesystem::path folder(state.path);
  std::error_code made, found;
  std::filesystem::create_directories(folder, made);
  if (!std::filesystem::is_directory(folder, found)) {
    state.kind = DataFolderState::Kind::kUnwritable;
    state.error = made ? made.value() : found.value();
    return state;
  }
  // The run log is the first file every run appends to: trying it makes
  // nothing a run would not make.
  std::ofstream probe(folder / std::filesystem::path(kRunLogName), std::ios::app);
  if (!probe) state.kind = DataFolderState::Kind::kUnwritable;
  return state;
}

}  // namespace kestrune
