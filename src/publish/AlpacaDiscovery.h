#pragma once

#include <QObject>
#include <QString>
#include <QUdpSocket>
#include <optional>

#include "core/Failure.h"

namespace nebulor {

// Alpaca discovery: answers "alpacadiscovery1" on UDP port 32227 with
// {"AlpacaPort": port}, so observatory software finds Nebulor without being
// told where it is. The port is shared with the other Alpaca servers of the
// machine (every responder binds it with address and port reuse).
class AlpacaDiscovery : public QObject {
  Q_OBJECT

 public:
  static constexpr quint16 kDiscoveryPort = 32227;

  AlpacaDiscovery(quint16 alpacaPort, QObject* parent = nullptr);

  // Why it cannot listen, or nothing once it does.
  std::optional<Failure> start();

 private:
  void answerQueries();

  quint16 alpacaPort_;
  QUdpSocket socket_;
};

}  // namespace nebulor
