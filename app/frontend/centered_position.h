#pragma once
// Where a window of a given size goes when it is centred over an area and
// kept inside a work area. Pure arithmetic, no window system.

namespace kestrune {

struct ScreenRect {
  long left;
  long top;
  long right;
  long bottom;
};

struct ScreenPoint {
  long x;
  long y;
};

// The top-left corner for a window of `width` x `height`: centred over
// `centerIn`, then pushed back inside `workArea`. A window larger than the
// work area is aligned to its left or top edge.
ScreenPoint CenteredPosition(long width, long height, const ScreenRect& centerIn,
                             const ScreenRect& workArea);

}  // namespace kestrune
