#pragma once
// The per-user data folder: the user's Documents folder with a sub-folder
// of the product's, created when missing. Resolved anew on every call.

#include <string>

namespace kestrune {

// Sub-folder of the Documents folder that holds features.json and the
// downloaded firmware images.
extern const char16_t kUserDataFolderName[];

// Returns the path of Documents/`name`, creating it when missing; empty when
// the Documents folder cannot be resolved.
std::u16string GetUserDataFolder(const std::u16string& name);

// The command line's --data-dir: from now on the product's data folder is
// `folder` (an existing one) instead of Documents/kUserDataFolderName. Set
// once at the start, before any thread starts and before any data file is
// opened; the run log and the history are then opened there, and the runs
// are handed the folder in their environment.
void ChooseUserDataFolder(const std::u16string& folder);

// Returns the path of `fileName` in the product's data folder (created when
// missing); empty when there is no such folder or the path does not fit a
// path buffer.
std::u16string UserDataFilePath(const std::u16string& fileName);

// The path of `fileName` in `folder` (a bundle of saved files a user
// names); with no folder, UserDataFilePath's.
std::u16string DataFilePath(const std::u16string& folder, const std::u16string& fileName);

// Whether the product's data folder can take the program's files (the
// manifest, the images, the run log).
struct DataFolderState {
  enum class Kind { kUsable, kNoFolder, kUnwritable };
  Kind kind = Kind::kUsable;
  std::u16string path;  // the folder; empty for kNoFolder
  int error = 0;        // the system's error making or writing it, when known
};

// Resolves the data folder (making it when missing) and tries a file in it:
// kNoFolder when there is no Documents folder to be had (HOME unset on
// Linux), kUnwritable when the folder cannot be made or written.
DataFolderState CheckUserDataFolder();

}  // namespace kestrune
