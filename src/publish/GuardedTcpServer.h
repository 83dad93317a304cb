#pragma once

#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <chrono>
#include <memory>

namespace nebulor {

// The listening socket of the web server, with the limits that keep a slow
// or hostile client from costing more than its own connections:
// - at most kMaxConnections at once, and kMaxPerAddress from one address, so
//   that one machine holding its slots leaves the others served; one more
//   is told so (HTTP 503) and closed;
// - a request (everything received since the last answer) over
//   kMaxRequestBytes is refused (HTTP 413) and its connection closed;
// - a request not answered within kRequestTimeout of its first byte is
//   closed, be it silent or trickling bytes; so is a connection that has
//   had no request kKeepAliveTimeout after its last answer;
// - a client that asks on and on without reading its answers is closed once
//   kMaxUnread of them wait for it.
// Call answered() after each answer on a socket.
class GuardedTcpServer : public QTcpServer {
  Q_OBJECT

 public:
  static constexpr int kMaxConnections = 32;
  // A browser opens up to 6 connections to a server; an Alpaca client one or two.
  static constexpr int kMaxPerAddress = 8;
  static constexpr qint64 kMaxRequestBytes = 64 * 1024;
  static constexpr std::chrono::seconds kRequestTimeout{10};
  // Apache's long-standing default: a client polling every few seconds keeps
  // its connection; one that has gone quiet frees its slot at once.
  static constexpr std::chrono::seconds kKeepAliveTimeout{5};
  static constexpr qint64 kMaxUnread = 1024 * 1024;

  explicit GuardedTcpServer(QObject* parent = nullptr);

  static void answered(QTcpSocket* socket);

  // Counts of the open connections; outlive the server for the sockets' guards.
  struct Open {
    int total = 0;
    QHash<QHostAddress, int> byAddress;
  };

 protected:
  void incomingConnection(qintptr descriptor) override;

 private:
  std::shared_ptr<Open> open_ = std::make_shared<Open>();
};

}  // namespace nebulor
