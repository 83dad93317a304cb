#pragma once

#include <QTcpServer>
#include <chrono>
#include <memory>

namespace nebulor {

// The listening socket of the web server, with the limits that keep a slow
// or hostile client from costing more than its own connection:
// - at most kMaxConnections at once; one more is told so (HTTP 503) and closed;
// - a request (everything received since the last answer) over
//   kMaxRequestBytes is refused (HTTP 413) and its connection closed;
// - a connection that has had no answer for kIdleTimeout is closed, be it
//   silent or trickling bytes;
// - a client that asks on and on without reading its answers is closed once
//   kMaxUnread of them wait for it.
// Call answered() after each answer on a socket.
class GuardedTcpServer : public QTcpServer {
  Q_OBJECT

 public:
  static constexpr int kMaxConnections = 32;
  static constexpr qint64 kMaxRequestBytes = 64 * 1024;
  static constexpr std::chrono::seconds kIdleTimeout{10};
  static constexpr qint64 kMaxUnread = 1024 * 1024;

  explicit GuardedTcpServer(QObject* parent = nullptr);

  static void answered(QTcpSocket* socket);

 protected:
  void incomingConnection(qintptr descriptor) override;

 private:
  std::shared_ptr<int> open_ = std::make_shared<int>(0);  // outlives this for the sockets' guards
};

}  // namespace nebulor
