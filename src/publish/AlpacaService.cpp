#include "publish/AlpacaService.h"

#include <QHostAddress>

#include "publish/AlpacaDiscovery.h"
#include "publish/AlpacaServer.h"
#include "publish/GuardedTcpServer.h"

namespace nebulor {

AlpacaService::AlpacaService(const ReadingsFeed& feed) : feed_(feed), host_(new QObject) {
  thread_.setObjectName(QStringLiteral("Alpaca"));
  host_->moveToThread(&thread_);
  QObject::connect(&thread_, &QThread::finished, host_, &QObject::deleteLater);
  thread_.start();
}

AlpacaService::~AlpacaService() {
  thread_.quit();
  thread_.wait();
}

QStringList AlpacaService::start(const AlpacaEndpoint& endpoint) {
  QStringList messages;
  // Made in the server's thread, where the sockets live.
  QMetaObject::invokeMethod(
      host_,
      [&] {
        const QHostAddress address =
            endpoint.address.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(endpoint.address);
        auto* listener = new GuardedTcpServer(host_);
        if (address.isNull() || !listener->listen(address, endpoint.port)) {
          messages << QStringLiteral(
                          "The Alpaca server cannot listen on port %2 (%1): %3. Nebulor goes on without it.")
                          .arg(endpoint.address.isEmpty() ? QStringLiteral("every interface")
                                                          : endpoint.address)
                          .arg(endpoint.port)
                          .arg(address.isNull() ? QStringLiteral("no such address")
                                                : listener->errorString());
          delete listener;
          return;
        }
        auto* server = new AlpacaServer(feed_, host_);
        server->bind(listener);
        auto* discovery = new AlpacaDiscovery(endpoint.port, address, host_);
        if (const std::optional<Failure> failure = discovery->start()) {
          messages << QStringLiteral(
                          "Alpaca discovery is off (UDP port %1: %2); clients must be given port %3.")
                          .arg(AlpacaDiscovery::kDiscoveryPort)
                          .arg(QString::fromStdString(failure->reason))
                          .arg(endpoint.port);
          delete discovery;
        }
      },
      Qt::BlockingQueuedConnection);
  return messages;
}

}  // namespace nebulor
