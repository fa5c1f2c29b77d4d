#pragma once
// The run's progress on the program's launcher icon (dock, task bar), told
// with the com.canonical.Unity.LauncherEntry signal that docks listen for
// on the session bus. A signal waits for no one: without a bus or a dock it
// goes nowhere.

#include <QString>

namespace kestrune {

class LauncherProgress {
 public:
  // `desktopId`: the desktop entry's id without ".desktop".
  explicit LauncherProgress(const QString& desktopId);

  // `fraction` from 0 to 1.
  void Show(double fraction);
  void Hide();

 private:
  void Send(double fraction, bool visible);

  QString appUri_;
  // Docks take the last value; an unchanged one is not sent again.
  double sentFraction_ = -1;
  bool sentVisible_ = false;
};

}  // namespace kestrune
