#include "app/linux/session_inhibit_portal_linux.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace kestrune {
namespace {

const char kPortalService[] = "org.freedesktop.portal.Desktop";
const char kPortalPath[] = "/org/freedesktop/portal/desktop";
// The portal's flags: 1 logout, 2 user switch, 4 suspend, 8 idle.
constexpr uint kLogoutAndSuspend = 1 | 4;
constexpr int kAnswerWaitMs = 2000;

}  // namespace

SessionInhibitPortal::SessionInhibitPortal(QObject* parent) : QObject(parent) {}

SessionInhibitPortal::~SessionInhibitPortal() { Release(); }

void SessionInhibitPortal::Hold(const QString& reason) {
  if (wanted_) return;
  wanted_ = true;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
      QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
  call << QString() << kLogoutAndSuspend << QVariantMap{{QStringLiteral("reason"), reason}};
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerWaitMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this](QDBusPendingCallWatcher* answered) {
            answered->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *answered;
            if (!reply.isError()) OnAnswer(reply.value().path());
          });
}

void SessionInhibitPortal::OnAnswer(const QString& handle) {
  // Released while the question was on its way: give it back at once.
  if (!wanted_) {
    CloseRequest(handle);
    return;
  }
  handle_ = handle;
}

void SessionInhibitPortal::Release() {
  wanted_ = false;
  if (handle_.isEmpty()) return;
  CloseRequest(handle_);
  handle_.clear();
}

void SessionInhibitPortal::CloseRequest(const QString& handle) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kPortalService), handle, QStringLiteral("org.freedesktop.portal.Request"),
      QStringLiteral("Close"));
  // Sent without waiting for the answer; the bus delivers it in order.
  QDBusConnection::sessionBus().send(call);
}

}  // namespace kestrune
