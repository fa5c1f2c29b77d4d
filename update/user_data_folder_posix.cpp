// The Documents folder on Linux is the XDG documents directory, found the
// way xdg-user-dir finds it, with $HOME/Documents when none is configured.

#include "update/user_data_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "update/text_conversion.h"

namespace kestrune {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs: a quoted "$HOME/..." or absolute
// path. Returns empty when the file or the line is missing or unusable.
std::string ConfiguredDocumentsDir(const std::string& home) {
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = home + "/.config";
  std::ifstream file(config + "/user-dirs.dirs");
  std::string line;
  std::string found;
  const std::string key = "XDG_DOCUMENTS_DIR=\"";
  while (std::getline(file, line)) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    const size_t open = start + key.size();
    const size_t close = line.find('"', open);
    if (close == std::string::npos) continue;
    std::string value = line.substr(open, close - open);
    if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
      value = home + value.substr(5);
    } else if (value.empty() || value[0] != '/') {
      continue;
    }
    found = value;  // the last assignment wins, as when the shell reads it
  }
  return found;
}

// mkdir -p: creates every missing folder of `path`.
bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

std::u16string GetUserDataFolder(const std::u16string& name) {
  const std::string home = Env("HOME");
  if (home.empty() || home[0] != '/') return u"";
  std::string documents = ConfiguredDocumentsDir(home);
  if (documents.empty()) documents = home + "/Documents";
  while (documents.size() > 1 && documents.back() == '/') documents.pop_back();
  const std::string folder = documents + "/" + WideToUtf8Text(name);
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0) MakeFolders(folder);
  return Utf8ToWideText(folder);
}

}  // namespace kestrune
