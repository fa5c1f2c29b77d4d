// Windows: no announcements are listened to yet (a message-only window with
// RegisterDeviceNotification would be the way); the station's periodic
// listing serves alone.
#include "device/device_announcements.h"

namespace kestrune {

struct DeviceAnnouncements::Listener {};

DeviceAnnouncements::DeviceAnnouncements(std::function<void()>) : listener_(new Listener) {}

DeviceAnnouncements::~DeviceAnnouncements() = default;

bool DeviceAnnouncements::Listening() const { return false; }

}  // namespace kestrune
