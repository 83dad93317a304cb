#pragma once

#include <QHostAddress>
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
//
// A server listening on one address is announced only to clients that can
// reach that address: those of its subnet (the machine itself for
// 127.0.0.1), which is where a client's broadcast finds it. Clients take
// the server's address from where the answer comes from, so the answer
// leaves from that address.
class AlpacaDiscovery : public QObject {
  Q_OBJECT

 public:
  static constexpr quint16 kDiscoveryPort = 32227;

  // served: the address the server listens on; Any for every interface.
  AlpacaDiscovery(quint16 alpacaPort, const QHostAddress& served, QObject* parent = nullptr);

  // Why it cannot answer, or nothing once it does.
  std::optional<Failure> start();

 private:
  void answerQueries();
  bool reaches(const QHostAddress& client) const;

  quint16 alpacaPort_;
  QHostAddress served_;
  int servedPrefix_ = 32;  // of the served address's subnet
  QUdpSocket socket_;
};

}  // namespace nebulor
