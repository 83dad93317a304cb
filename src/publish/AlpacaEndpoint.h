#pragma once

#include <QString>
#include <optional>

namespace nebulor {

// Where the Alpaca server listens: a TCP port, on every interface or on the
// one address given.
struct AlpacaEndpoint {
  quint16 port = 0;
  QString address;  // empty: every interface

  bool operator==(const AlpacaEndpoint&) const = default;
};

// The server as the window last ran it, kept in the user's settings (not in
// config.ini, which holds the instrument's values only); nothing: off.
std::optional<AlpacaEndpoint> rememberedAlpaca();
void rememberAlpaca(const std::optional<AlpacaEndpoint>& endpoint);

}  // namespace nebulor
