#include "app/linux/launcher_progress_linux.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

#include <algorithm>

namespace kestrune {

LauncherProgress::LauncherProgress(const QString& desktopId)
    : appUri_(QStringLiteral("application://%1.desktop").arg(desktopId)) {}

void LauncherProgress::Show(double fraction) { Send(std::clamp(fraction, 0.0, 1.0), true); }

void LauncherProgress::Hide() {
  if (sentVisible_) Send(sentFraction_, false);
}

void LauncherProgress::Send(double fraction, bool visible) {
  if (fraction == sentFraction_ && visible == sentVisible_) return;
  sentFraction_ = fraction;
  sentVisible_ = visible;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  // Docks match the sender by the app URI, not by the object path.
  QDBusMessage update = QDBusMessage::createSignal(
      QStringLiteral("/com/orvel/kestrune/LauncherEntry"),
      QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
  update << appUri_
         << QVariantMap{{QStringLiteral("progress"), fraction},
                        {QStringLiteral("progress-visible"), visible}};
  bus.send(update);
}

}  // namespace kestrune
