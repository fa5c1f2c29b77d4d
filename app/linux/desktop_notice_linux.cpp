#include "app/linux/desktop_notice_linux.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace kestrune {
namespace {

// The daemon's own default for how long the notice stays.
constexpr int kDefaultExpiry = -1;

}  // namespace

void SendDesktopNotice(const QString& desktopId, const QString& summary, const QString& body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage notify = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  notify << desktopId << uint(0) << desktopId << summary << body << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), desktopId}} << kDefaultExpiry;
  // The answer (the notice's id) is of no use: not waited for.
  bus.send(notify);
}

}  // namespace kestrune
