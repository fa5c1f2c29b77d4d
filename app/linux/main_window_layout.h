#pragma once
// The main window's layout as the Windows dialog template gives it, in
// dialog units, and its conversion to pixels for a given dialog font, so
// that the Linux window has the same controls in the same places and
// proportions.

#include <cstddef>
#include <string_view>

#include "i18n/translate.h"
#include "res/resource.h"

namespace kestrune {

struct DialogUnitRect {
  int x, y, width, height;
};

struct PixelRect {
  int x, y, width, height;
  bool operator==(const PixelRect& other) const {
    return x == other.x && y == other.y && width == other.width && height == other.height;
  }
};

// The dialog font's base units: its average character width and its height
// in pixels.
struct DialogBaseUnits {
  int x, y;
};

struct ControlPlacement {
  int id;                 // the resource identifier, -1 for the fixed labels
  std::string_view text;  // the fixed text, empty where a worker fills it
  DialogUnitRect rect;
};

// The client area and the controls, in template order (also the tab order).
inline constexpr DialogUnitRect kMainWindowSize{0, 0, 220, 181};
inline constexpr ControlPlacement kMainWindowControls[] = {
    {IDC_RELEASE_NOTES, "", {7, 31, 205, 91}},
    {IDC_STATUS, "", {8, 127, 206, 8}},
    {IDC_UPDATE_FIRMWARE, N_("Update Firmware"), {72, 153, 70, 14}},
    {-1, N_("Firmware Version:"), {8, 9, 59, 8}},
    {IDC_VERSION, "1.005", {68, 9, 31, 8}},
    {IDC_PROGRESS, "", {7, 141, 205, 8}},
    {-1, N_("New Features:"), {8, 21, 47, 8}},
};
// The Linux window's one control of its own: the line that says why a run
// failed and what to do, in the free band beneath the button, as wide as
// the status line above it.
inline constexpr DialogUnitRect kCauseLineRect{8, 170, 206, 8};

inline constexpr char kMainWindowCaption[] = "orvel kestrune tools";
// The dialog font: Arial, 12 points, bold.
inline constexpr char kDialogFontFamily[] = "Arial";
inline constexpr int kDialogFontPoints = 12;

// The placement of the control with resource identifier `id` (or, for -1,
// with fixed text `text`); nullptr when there is none.
const ControlPlacement* FindControl(int id, std::string_view text = {});

// Base units from the font's metrics: the width in pixels of the 52 letters
// "A".."Z" "a".."z" set in one run, and the font's line height.
DialogBaseUnits BaseUnitsFromFont(int alphabetWidth, int lineHeight);

// Dialog units to pixels: x and width in quarters of the average character
// width, y and height in eighths of the character height, each rounded to
// the nearest pixel.
PixelRect ToPixels(const DialogUnitRect& rect, DialogBaseUnits base);

}  // namespace kestrune
