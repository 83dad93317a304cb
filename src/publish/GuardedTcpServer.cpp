#include "publish/GuardedTcpServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace nebulor {

namespace {

// Says why in plain text and closes the connection once that is sent.
void refuse(QTcpSocket* socket, const char* status, const QByteArray& reason) {
  socket->write(QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: text/plain; charset=utf-8\r\n" +
                "Content-Length: " + QByteArray::number(reason.size() + 1) + "\r\nConnection: close\r\n\r\n" +
                reason + '\n');
  socket->disconnectFromHost();
  QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

// The address a client's connections are counted under: an IPv4 client of a
// dual-stack listener comes as ::ffff:a.b.c.d.
QHostAddress client(const QTcpSocket& socket) {
  bool isIPv4 = false;
  const quint32 ipv4 = socket.peerAddress().toIPv4Address(&isIPv4);
  return isIPv4 ? QHostAddress(ipv4) : socket.peerAddress();
}

// Rides on one accepted socket: counts it while it lives, closes it when
// idle or when its request grows too large.
class ConnectionGuard : public QObject {
 public:
  ConnectionGuard(QTcpSocket* socket, std::shared_ptr<GuardedTcpServer::Open> open)
      : QObject(socket), socket_(socket), open_(std::move(open)), address_(client(*socket)) {
    ++open_->total;
    ++open_->byAddress[address_];
    idle_.setSingleShot(true);
    idle_.start(GuardedTcpServer::kRequestTimeout);
    connect(&idle_, &QTimer::timeout, this, &ConnectionGuard::drop);
    // Connected before the HTTP server's own reader, so this one sees the bytes first.
    connect(socket, &QTcpSocket::readyRead, this, [this] {
      if (socket_->bytesToWrite() > GuardedTcpServer::kMaxUnread) {
        drop();
        return;
      }
      if (received_ == 0) idle_.start(GuardedTcpServer::kRequestTimeout);  // a new request begins
      received_ += socket_->bytesAvailable();
      if (received_ <= GuardedTcpServer::kMaxRequestBytes) return;
      socket_->readAll();  // nothing of it reaches the HTTP server
      refuse(socket_, "413 Content Too Large",
             QByteArray("A request to Nebulor may hold ") +
                 QByteArray::number(GuardedTcpServer::kMaxRequestBytes / 1024) + " KiB at most.");
    });
  }
  ~ConnectionGuard() override {
    --open_->total;
    if (--open_->byAddress[address_] == 0) open_->byAddress.remove(address_);
  }

  void answered() {
    received_ = 0;
    idle_.start(GuardedTcpServer::kKeepAliveTimeout);
  }

 private:
  // Closes at once. The HTTP server's reader is cut off first: called from
  // within readyRead, it would read the closed socket next and complain on
  // standard error.
  void drop() {
    QObject::disconnect(socket_, &QTcpSocket::readyRead, nullptr, nullptr);
    socket_->abort();
    socket_->deleteLater();
  }

  QTcpSocket* socket_;
  std::shared_ptr<GuardedTcpServer::Open> open_;
  QHostAddress address_;
  QTimer idle_;
  qint64 received_ = 0;
};

}  // namespace

GuardedTcpServer::GuardedTcpServer(QObject* parent) : QTcpServer(parent) {}

void GuardedTcpServer::answered(QTcpSocket* socket) {
  for (QObject* child : socket->children()) {
    if (auto* guard = dynamic_cast<ConnectionGuard*>(child)) {
      guard->answered();
      return;
    }
  }
}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
  auto* socket = new QTcpSocket(this);
  if (!socket->setSocketDescriptor(descriptor)) {
    delete socket;
    return;
  }
  // Refused connections are not counted: a client that opens them on and on
  // only ever holds its own slots.
  if (open_->total >= kMaxConnections) {
    refuse(socket, "503 Service Unavailable",
           QByteArray("Nebulor serves ") + QByteArray::number(kMaxConnections) +
               " connections at once; please try again shortly.");
    return;
  }
  if (open_->byAddress.value(client(*socket)) >= kMaxPerAddress) {
    refuse(socket, "503 Service Unavailable",
           QByteArray("Nebulor serves ") + QByteArray::number(kMaxPerAddress) +
               " connections from one address at once; please close one first.");
    return;
  }
  new ConnectionGuard(socket, open_);
  addPendingConnection(socket);
}

}  // namespace nebulor
