#include "publish/AlpacaEndpoint.h"

#include "display/UserSettings.h"

namespace nebulor {

namespace {

constexpr const char* kPortKey = "alpacaPort";
constexpr const char* kAddressKey = "alpacaBind";

}  // namespace

std::optional<AlpacaEndpoint> rememberedAlpaca() {
  const QSettings settings = userSettings();
  bool ok = false;
  const uint port = settings.value(QString::fromLatin1(kPortKey)).toUInt(&ok);
  if (!ok || port == 0 || port > 65535) return std::nullopt;
  return AlpacaEndpoint{static_cast<quint16>(port),
                        settings.value(QString::fromLatin1(kAddressKey)).toString()};
}

void rememberAlpaca(const std::optional<AlpacaEndpoint>& endpoint) {
  QSettings settings = userSettings();
  settings.setValue(QString::fromLatin1(kPortKey), endpoint ? endpoint->port : 0);
  settings.setValue(QString::fromLatin1(kAddressKey), endpoint ? endpoint->address : QString());
}

}  // namespace nebulor
