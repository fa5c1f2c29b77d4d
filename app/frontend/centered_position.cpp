#include "app/frontend/centered_position.h"

namespace kestrune {

namespace {

// One axis: centre, then keep the far edge and then the near edge inside.
long PlaceOnAxis(long size, long centerLow, long centerHigh, long workLow, long workHigh) {
  // Integer division truncates toward zero, also for negative coordinates.
  long position = (centerLow + centerHigh) / 2 - size / 2;
  if (position + size > workHigh) position = workHigh - size;
  if (position < workLow) position = workLow;
  return position;
}

}  // namespace

ScreenPoint CenteredPosition(long width, long height, const ScreenRect& centerIn,
                             const ScreenRect& workArea) {
  return {PlaceOnAxis(width, centerIn.left, centerIn.right, workArea.left, workArea.right),
          PlaceOnAxis(height, centerIn.top, centerIn.bottom, workArea.top, workArea.bottom)};
}

}  // namespace kestrune
