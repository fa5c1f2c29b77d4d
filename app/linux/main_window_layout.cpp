#include "app/linux/main_window_layout.h"

namespace kestrune {
namespace {

// value * numerator / denominator rounded half away from zero, as the
// dialog manager rounds.
int ScaleRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

}  // namespace

const ControlPlacement* FindControl(int id, std::string_view text) {
  for (const ControlPlacement& control : kMainWindowControls) {
    if (control.id == id && (id != -1 || control.text == text)) return &control;
  }
  return nullptr;
}

DialogBaseUnits BaseUnitsFromFont(int alphabetWidth, int lineHeight) {
  return {(alphabetWidth / 26 + 1) / 2, lineHeight};
}

PixelRect ToPixels(const DialogUnitRect& rect, DialogBaseUnits base) {
  return {ScaleRounded(rect.x, base.x, 4), ScaleRounded(rect.y, base.y, 8),
          ScaleRounded(rect.width, base.x, 4), ScaleRounded(rect.height, base.y, 8)};
}

}  // namespace kestrune
