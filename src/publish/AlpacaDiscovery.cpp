#include "publish/AlpacaDiscovery.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace nebulor {

namespace {

bool everyInterface(const QHostAddress& address) {
  return address == QHostAddress::Any || address == QHostAddress::AnyIPv4;
}

}  // namespace

AlpacaDiscovery::AlpacaDiscovery(quint16 alpacaPort, const QHostAddress& served, QObject* parent)
    : QObject(parent), alpacaPort_(alpacaPort), served_(served) {
  connect(&socket_, &QUdpSocket::readyRead, this, &AlpacaDiscovery::answerQueries);
}

std::optional<Failure> AlpacaDiscovery::start() {
  if (!everyInterface(served_)) {
    bool isIPv4 = false;
    const quint32 ipv4 = served_.toIPv4Address(&isIPv4);
    if (!isIPv4) {
      return Failure{"it answers over IPv4, and the server listens on " + served_.toString().toStdString() +
                     " only"};
    }
    served_ = QHostAddress(ipv4);
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
      for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
        if (entry.ip() == served_) servedPrefix_ = entry.prefixLength();
      }
    }
  }
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
    if (query.data() != "alpacadiscovery1" || !reaches(query.senderAddress())) continue;
    QNetworkDatagram answer(QByteArray("{\"AlpacaPort\":") + QByteArray::number(alpacaPort_) + '}',
                            query.senderAddress(), static_cast<quint16>(query.senderPort()));
    if (!everyInterface(served_)) answer.setSender(served_, kDiscoveryPort);
    socket_.writeDatagram(answer);
  }
}

bool AlpacaDiscovery::reaches(const QHostAddress& client) const {
  if (everyInterface(served_)) return true;
  bool isIPv4 = false;
  const quint32 ipv4 = client.toIPv4Address(&isIPv4);
  return isIPv4 && QHostAddress(ipv4).isInSubnet(served_, servedPrefix_);
}

}  // namespace nebulor
