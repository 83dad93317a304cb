#include "publish/GuardedTcpServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace nebulor {

namespace {

// Rides on one socket: counts it while it lives, closes it when idle or
// when its request grows too large.
class ConnectionGuard : public QObject {
 public:
  ConnectionGuard(QTcpSocket* socket, std::shared_ptr<int> open) : QObject(socket), open_(std::move(open)) {
    ++*open_;
    idle_.setSingleShot(true);
    idle_.start(GuardedTcpServer::kIdleTimeout);
    connect(&idle_, &QTimer::timeout, this, [socket] {
      socket->abort();
      socket->deleteLater();
    });
    // Connected before the HTTP server's own reader, so this one sees the bytes first.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
      if (socket->bytesToWrite() > GuardedTcpServer::kMaxUnread) {
        socket->abort();
        socket->deleteLater();
        return;
      }
      received_ += socket->bytesAvailable();
      if (received_ <= GuardedTcpServer::kMaxRequestBytes) return;
      socket->readAll();  // nothing of it reaches the HTTP server
      refuse(socket, "413 Content Too Large", "A request to Nebulor may hold 64 KiB at most.");
    });
  }
  ~ConnectionGuard() override { --*open_; }

  void answered() {
    received_ = 0;
    idle_.start(GuardedTcpServer::kIdleTimeout);
  }

  // Says why in plain text and closes the connection once that is sent.
  static void refuse(QTcpSocket* socket, const char* status, const QByteArray& reason) {
    socket->write(QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: text/plain; charset=utf-8\r\n" +
                  "Content-Length: " + QByteArray::number(reason.size() + 1) +
                  "\r\nConnection: close\r\n\r\n" + reason + '\n');
    socket->disconnectFromHost();
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  }

 private:
  std::shared_ptr<int> open_;
  QTimer idle_;
  qint64 received_ = 0;
};

}  // namespace

GuardedTcpServer::GuardedTcpServer(QObject* parent) : QTcpServer(parent) {}

void GuardedTcpServer::answered(QTcpSocket* socket) {
  // By name: the guard has no meta-object of its own to be found by type.
  if (auto* guard = socket->findChild<QObject*>(QStringLiteral("guard"), Qt::FindDirectChildrenOnly)) {
    static_cast<ConnectionGuard*>(guard)->answered();
  }
}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
  auto* socket = new QTcpSocket(this);
  if (!socket->setSocketDescriptor(descriptor)) {
    delete socket;
    return;
  }
  auto* guard = new ConnectionGuard(socket, open_);
  if (*open_ > kMaxConnections) {
    ConnectionGuard::refuse(socket, "503 Service Unavailable",
                            "Nebulor serves 32 connections at once; please try again shortly.");
    return;
  }
  guard->setObjectName(QStringLiteral("guard"));
  addPendingConnection(socket);
}

}  // namespace nebulor
