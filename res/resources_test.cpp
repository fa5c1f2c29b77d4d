// Reads the program's resources back through the window system, from this
// test program, which links the same resource object as the program.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"

namespace kestrune {
namespace {

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

LPCWSTR DialogResourceType() { return MAKEINTRESOURCEW(5); }

std::string ResourceBytes(LPCWSTR type, LPCWSTR name) {
  HRSRC found = FindResourceW(nullptr, name, type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(nullptr, found);
  auto* data = static_cast<const char*>(LockResource(loaded));
  return std::string(data, SizeofResource(nullptr, found));
}

TEST(ResourcesTest, VersionResourceHasItsFixedValues) {
  std::wstring path = ModulePath();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
  EXPECT_EQ(fixed->dwFileFlags, 0u);
  EXPECT_EQ(fixed->dwFileOS, 4u);
  EXPECT_EQ(fixed->dwFileType, 2u);  // VFT_DLL, as the product has always declared
  EXPECT_EQ(fixed->dwFileSubtype, 0u);
  EXPECT_EQ(fixed->dwFileDateMS, 0u);
  EXPECT_EQ(fixed->dwFileDateLS, 0u);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 0x04B0);

  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"FileDescription", L"Orvel Kestrune Module"}, {L"FileVersion", L"1, 0, 0, 1"},
      {L"InternalName", L"orvel kestrune tools"},     {L"OriginalFilename", L"orvel kestrune.exe"},
      {L"ProductName", L"Orvel Kestrune Module"},     {L"ProductVersion", L"1, 0, 0, 1"}};
  for (const auto& [key, value] : strings) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
    wchar_t* text = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
        << "missing " << std::string(query.begin(), query.end());
    EXPECT_EQ(std::wstring(text), value);
  }
}

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

TEST(ResourcesTest, OneManifestAskingForTheInvokersLevelAndNothingElse) {
  int manifests = 0;
  EnumResourceNamesW(nullptr, MAKEINTRESOURCEW(24), CountName,
                     reinterpret_cast<LONG_PTR>(&manifests));
  EXPECT_EQ(manifests, 1);
  std::string manifest = ResourceBytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_EQ(manifest.find("dependency"), std::string::npos);  // no common-controls version
  EXPECT_EQ(manifest.find("compatibility"), std::string::npos);
}

TEST(ResourcesTest, TitleString) {
  wchar_t text[64] = {};
  ASSERT_GT(LoadStringW(GetModuleHandleW(nullptr), IDS_APP_TITLE, text, 64), 0);
  EXPECT_STREQ(text, L"orvel kestrune tools");
}

#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST(ResourcesTest, IconGroupHoldsThreeTrueColourSizes) {
  std::string group = ResourceBytes(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(IDI_APP_ICON));
  ASSERT_GE(group.size(), 6u);
  WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
  ASSERT_EQ(count, 3);
  ASSERT_EQ(group.size(), 6u + count * sizeof(IconGroupEntry));
  const int sizes[] = {128, 64, 32};
  for (int i = 0; i < 3; ++i) {
    IconGroupEntry entry;
    memcpy(&entry, group.data() + 6 + i * sizeof(entry), sizeof(entry));
    EXPECT_EQ(entry.width, sizes[i]);
    EXPECT_EQ(entry.height, sizes[i]);
    EXPECT_EQ(entry.bitCount, 24);
  }
  HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                           32, 32, LR_DEFAULTCOLOR);
  EXPECT_NE(icon, nullptr);
}

// Reads the extended dialog template as the dialog manager would.
class TemplateReader {
 public:
  explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
  WORD Word() { return Take<WORD>(); }
  DWORD Dword() { return Take<DWORD>(); }
  short Short() { return Take<short>(); }
  BYTE Byte() { return Take<BYTE>(); }
  std::wstring Text() {
    std::wstring text;
    for (WORD unit = Word(); unit != 0; unit = Word()) text += static_cast<wchar_t>(unit);
    return text;
  }
  // A string or an ordinal; ordinals of the predefined classes by name.
  std::wstring TextOrOrdinal() {
    WORD first = Peek();
    if (first == 0xFFFF) {
      Word();
      switch (WORD ordinal = Word()) {
        case 0x80: return L"Button";
        case 0x81: return L"Edit";
        case 0x82: return L"Static";
        default: return L"#" + std::to_wstring(ordinal);
      }
    }
    return Text();
  }
  void AlignToDword() { offset_ = (offset_ + 3) & ~std::size_t{3}; }
  void Skip(std::size_t n) { offset_ += n; }

 private:
  WORD Peek() const { return *reinterpret_cast<const WORD*>(bytes_.data() + offset_); }
  template <class T>
  T Take() {
    T value{};
    if (offset_ + sizeof(T) <= bytes_.size()) memcpy(&value, bytes_.data() + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }
  const std::string& bytes_;
  std::size_t offset_ = 0;
};

struct ExpectedControl {
  int id;
  const wchar_t* className;
  const wchar_t* text;
  short x, y, width, height;
  DWORD styles;
};

TEST(ResourcesTest, MainDialogTemplateHoldsEveryControlInOrder) {
  std::string bytes = ResourceBytes(DialogResourceType(), MAKEINTRESOURCEW(IDD_MAIN_DIALOG));
  ASSERT_GT(bytes.size(), 26u);
  TemplateReader in(bytes);
  EXPECT_EQ(in.Word(), 1);       // version
  EXPECT_EQ(in.Word(), 0xFFFF);  // extended template
  in.Dword();                    // help id
  EXPECT_EQ(in.Dword(), 0u);     // extended style
  EXPECT_EQ(in.Dword(), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_SETFONT));
  const WORD count = in.Word();
  EXPECT_EQ(in.Short(), 0);
  EXPECT_EQ(in.Short(), 0);
  EXPECT_EQ(in.Short(), 220);
  EXPECT_EQ(in.Short(), 181);
  EXPECT_EQ(in.TextOrOrdinal(), L"");  // no menu
  EXPECT_EQ(in.TextOrOrdinal(), L"");  // the standard dialog class
  EXPECT_EQ(in.Text(), L"orvel kestrune tools");
  EXPECT_EQ(in.Word(), 12);   // points
  EXPECT_EQ(in.Word(), 700);  // weight
  EXPECT_EQ(in.Byte(), 0);    // not italic
  EXPECT_EQ(in.Byte(), 0);    // character set
  EXPECT_EQ(in.Text(), L"Arial");

  const DWORD base = WS_CHILD | WS_VISIBLE;
  const DWORD label = base | SS_LEFT | WS_GROUP;
  const ExpectedControl controls[] = {
      {IDC_RELEASE_NOTES, L"Edit", L"", 7, 31, 205, 91,
       base | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY | WS_VSCROLL |
           WS_HSCROLL | WS_BORDER | WS_TABSTOP},
      {IDC_STATUS, L"Static", L"", 8, 127, 206, 8, label},
      {IDC_UPDATE_FIRMWARE, L"Button", L"Update Firmware", 72, 153, 70, 14,
       base | BS_PUSHBUTTON | WS_TABSTOP},
      {-1, L"Static", L"Firmware Version:", 8, 9, 59, 8, label},
      {IDC_VERSION, L"Static", L"1.005", 68, 9, 31, 8, label},
      {IDC_PROGRESS, L"msctls_progress32", L"", 7, 141, 205, 8, base | WS_BORDER},
      {-1, L"Static", L"New Features:", 8, 21, 47, 8, label}};
  ASSERT_EQ(count, std::size(controls));
  for (const ExpectedControl& control : controls) {
    in.AlignToDword();
    in.Dword();  // help id
    EXPECT_EQ(in.Dword(), 0u) << control.id;
    EXPECT_EQ(in.Dword(), control.styles) << control.id;
    EXPECT_EQ(in.Short(), control.x) << control.id;
    EXPECT_EQ(in.Short(), control.y) << control.id;
    EXPECT_EQ(in.Short(), control.width) << control.id;
    EXPECT_EQ(in.Short(), control.height) << control.id;
    EXPECT_EQ(static_cast<int>(in.Dword()), control.id);
    EXPECT_EQ(lstrcmpiW(in.TextOrOrdinal().c_str(), control.className), 0) << control.id;
    EXPECT_EQ(in.TextOrOrdinal(), control.text) << control.id;
    in.Skip(in.Word());  // creation data
  }
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

TEST(ResourcesTest, MainDialogCreatesWithArialBoldAndTabsFromNotesToButton) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN_DIALOG),
                                   nullptr, PlainDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindowVisible(dialog));
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font), &font);
  EXPECT_STREQ(font.lfFaceName, L"Arial");
  EXPECT_EQ(font.lfWeight, 700);
  HWND notes = GetDlgItem(dialog, IDC_RELEASE_NOTES);
  HWND button = GetDlgItem(dialog, IDC_UPDATE_FIRMWARE);
  EXPECT_EQ(GetNextDlgTabItem(dialog, notes, FALSE), button);
  EXPECT_EQ(GetNextDlgTabItem(dialog, button, FALSE), notes);
  DestroyWindow(dialog);
}

}  // namespace
}  // namespace kestrune
