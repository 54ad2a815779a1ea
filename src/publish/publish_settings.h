// The window's publishing settings in the user's configuration folder, and the publisher settings made from them.
#pragma once

#include "platform/user_seam.h"
#include "publish/mqtt_publisher.h"

#include <QString>

#include <optional>

namespace tessaro {

// "mqtt.json" (URL, name, user, discovery) and "mqtt-password" (owner-only) in folder.
PublishRequest load_publish_settings(const QString& folder);
// Both files written through the checked atomic writer; no password removes the password file.
// nullopt on success, else the reason.
std::optional<QString> save_publish_settings(const PublishRequest& request, const QString& folder);

// The publisher's settings from the operator's entries (a user field wins over the URL's user; an
// empty name takes default_name); nullopt with the reason for the operator in `error`.
std::optional<MqttSettings> mqtt_settings_from(const PublishRequest& request, const QString& default_name,
                                               QString& error);

// The meter's default name: the by-id name of the device, else "portN" (port > 0), else the
// device's own name, else "meter".
QString default_meter_name(int port, const QString& device_path);

} // namespace tessaro
