#include "publish/AlpacaDiscovery.h"

#include <QNetworkDatagram>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace nebulor {

AlpacaDiscovery::AlpacaDiscovery(quint16 alpacaPort, QObject* parent)
    : QObject(parent), alpacaPort_(alpacaPort) {
  connect(&socket_, &QUdpSocket::readyRead, this, &AlpacaDiscovery::answerQueries);
}

std::optional<Failure> AlpacaDiscovery::start() {
#ifdef _WIN32
  if (socket_.bind(QHostAddress::AnyIPv4, kDiscoveryPort,
                   QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
    return std::nullopt;
  }
  return Failure{socket_.errorString().toStdString()};
#else
  // Qt sets SO_REUSEADDR only; a responder that set SO_REUSEPORT alone would
  // keep the port to itself, so both are set before binding.
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return Failure{std::strerror(errno)};
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kDiscoveryPort);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return Failure{reason.toStdString()};
  }
  if (!socket_.setSocketDescriptor(fd, QAbstractSocket::BoundState)) {
    ::close(fd);
    return Failure{socket_.errorString().toStdString()};
  }
  return std::nullopt;
#endif
}

void AlpacaDiscovery::answerQueries() {
  while (socket_.hasPendingDatagrams()) {
    const QNetworkDatagram query = socket_.receiveDatagram(64);
    if (query.data() != "alpacadiscovery1") continue;
    socket_.writeDatagram(QByteArray("{\"AlpacaPort\":") + QByteArray::number(alpacaPort_) + '}',
                          query.senderAddress(), static_cast<quint16>(query.senderPort()));
  }
}

}  // namespace nebulor
