#pragma once
// A desktop notification (org.freedesktop.Notifications) with a run's final
// status, for a user who is looking at another window when it ends. Sent
// without waiting for the answer: no notification daemon, no delay.

#include <QString>

namespace kestrune {

// `desktopId`: the desktop entry's id without ".desktop", which lets the
// daemon show the program's name and icon.
void SendDesktopNotice(const QString& desktopId, const QString& summary, const QString& body);

}  // namespace kestrune
