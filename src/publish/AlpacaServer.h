#pragma once

#include <QAbstractHttpServer>

#include "core/ReadingsFeed.h"
#include "publish/AlpacaDevice.h"
#include "publish/LiveChart.h"

namespace nebulor {

// HTTP for the Alpaca device, its setup pages and the live page: turns each
// request into a WebRequest and sends back the answer. Every answer is made
// from a copy of the feed at once; nothing here waits.
class AlpacaServer : public QAbstractHttpServer {
  Q_OBJECT

 public:
  explicit AlpacaServer(const ReadingsFeed& feed, QObject* parent = nullptr);

  // The answer to a request, as HTTP would carry it.
  WebAnswer answer(const WebRequest& request);

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

 private:
  const ReadingsFeed& feed_;
  AlpacaDevice device_;
  LiveChart chart_;
};

}  // namespace nebulor
