#pragma once
// Asks the desktop's session manager, through the desktop portal on the
// session bus, not to log out or suspend while the watch is being written
// (logind's lock covers the system; a logout would end the program all the
// same). Where no portal or no session bus runs, nothing happens and
// nothing waits: the call is asynchronous.

#include <QObject>
#include <QString>

namespace kestrune {

class SessionInhibitPortal : public QObject {
  Q_OBJECT

 public:
  explicit SessionInhibitPortal(QObject* parent = nullptr);
  ~SessionInhibitPortal() override;

  // Asks for the hold; a second Hold() before Release() does nothing.
  void Hold(const QString& reason);
  // Gives the hold back, also when the portal has not answered yet.
  void Release();

 private:
  void OnAnswer(const QString& handle);
  void CloseRequest(const QString& handle);

  bool wanted_ = false;
  // The portal's request object while the hold lasts.
  QString handle_;
};

}  // namespace kestrune
