// Reads the command-line updater's version information and manifest back
// from the built program, as Windows reads them, beside the dialog's; and
// runs it in a console to see that it gives the console's code page back.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "program_version.h"

namespace kestrune {
namespace {

const wchar_t kConsoleProgram[] = L"" KESTRUNE_CONSOLE_PROGRAM;
const wchar_t kDialogProgram[] = L"" KESTRUNE_DIALOG_PROGRAM;
const wchar_t kProjectVersion[] = L"" KESTRUNE_VERSION_DOTTED;

std::vector<char> VersionBlock(const wchar_t* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::vector<char> block(size);
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, block.data())) block.clear();
  return block;
}

VS_FIXEDFILEINFO FixedInfo(std::vector<char>& block) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) return {};
  return *fixed;
}

std::wstring VersionString(std::vector<char>& block, const wchar_t* key) {
  std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
  wchar_t* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length)) {
    return L"(missing)";
  }
  return text;
}

std::wstring Dotted(DWORD high, DWORD low) {
  wchar_t text[64];
  swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low));
  return text;
}

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// The program's manifests, loaded as data; the text of manifest 1.
std::string Manifest(const wchar_t* path, int* count) {
  HMODULE module =
      LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return {};
  *count = 0;
  EnumResourceNamesW(module, MAKEINTRESOURCEW(24), CountName, reinterpret_cast<LONG_PTR>(count));
  std::string text;
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    text.assign(data, SizeofResource(module, found));
  }
  FreeLibrary(module);
  return text;
}

TEST(ConsoleProgramResourcesTest, VersionIsTheDialogsAndNamesTheCommandLineProgram) {
  std::vector<char> console = VersionBlock(kConsoleProgram);
  std::vector<char> dialog = VersionBlock(kDialogProgram);
  ASSERT_FALSE(console.empty()) << "no version information in the console program";
  ASSERT_FALSE(dialog.empty());
  const VS_FIXEDFILEINFO fixed = FixedInfo(console);
  const VS_FIXEDFILEINFO dialogFixed = FixedInfo(dialog);
  EXPECT_EQ(fixed.dwSignature, VS_FFI_SIGNATURE);
  EXPECT_EQ(Dotted(fixed.dwFileVersionMS, fixed.dwFileVersionLS), kProjectVersion);
  EXPECT_EQ(Dotted(fixed.dwProductVersionMS, fixed.dwProductVersionLS), kProjectVersion);
  EXPECT_EQ(Dotted(dialogFixed.dwFileVersionMS, dialogFixed.dwFileVersionLS), kProjectVersion);
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  EXPECT_EQ(fixed.dwFileFlags, 0u);

  const std::pair<const wchar_t*, std::wstring> strings[] = {
      {L"CompanyName", L"orvel"},
      {L"FileDescription", L"Kestrune firmware updater (command line)"},
      {L"FileVersion", kProjectVersion},
      {L"InternalName", L"kestrune-update"},
      {L"OriginalFilename", L"kestrune-update.exe"},
      {L"ProductName", L"orvel kestrune tools"},
      {L"ProductVersion", kProjectVersion}};
  for (const auto& [key, value] : strings) {
    EXPECT_EQ(VersionString(console, key), value) << std::string(key, key + wcslen(key));
  }
}

TEST(ConsoleProgramResourcesTest, ManifestAsksForTheInvokersLevelUtf8AndLongPaths) {
  int manifests = 0;
  const std::string manifest = Manifest(kConsoleProgram, &manifests);
  EXPECT_EQ(manifests, 1);
  const char* wanted[] = {
      "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
      "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">"
      "UTF-8</activeCodePage>",
      "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
      "true</longPathAware>"};
  for (const char* element : wanted) {
    EXPECT_NE(manifest.find(element), std::string::npos) << element << "\nin:\n" << manifest;
  }
}

TEST(ConsoleProgramResourcesTest, TheDialogKeepsItsOwnManifest) {
  int manifests = 0;
  const std::string manifest = Manifest(kDialogProgram, &manifests);
  std::ifstream source(KESTRUNE_DIALOG_MANIFEST, std::ios::binary);
  ASSERT_TRUE(source) << KESTRUNE_DIALOG_MANIFEST;
  const std::string expected{std::istreambuf_iterator<char>(source),
                             std::istreambuf_iterator<char>()};
  EXPECT_EQ(manifests, 1);
  EXPECT_EQ(manifest, expected);
}

// The program sets the console's output to UTF-8 while it runs; the
// console it shares with the one who started it gets its code page back.
TEST(ConsoleProgramResourcesTest, GivesTheConsolesOutputCodePageBack) {
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  ASSERT_TRUE(SetConsoleOutputCP(437));
  // --help ends well, a bad command with the usage code: both set the code
  // page on their way.
  const std::pair<const wchar_t*, DWORD> runs[] = {{L" --help", 0u}, {L" no-such-command", 2u}};
  for (const auto& [arguments, expectedExitCode] : runs) {
    std::wstring commandLine = std::wstring(L"\"") + kConsoleProgram + L"\"" + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(kConsoleProgram, commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, expectedExitCode) << "kestrune-update" << arguments;
    EXPECT_EQ(GetConsoleOutputCP(), 437u) << "after kestrune-update" << arguments;
  }
  FreeConsole();
}

}  // namespace
}  // namespace kestrune
