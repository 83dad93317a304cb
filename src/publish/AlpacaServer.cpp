#include "publish/AlpacaServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QUrlQuery>

#include "publish/GuardedTcpServer.h"
#include "publish/LivePage.h"

namespace nebulor {

namespace {

QList<QPair<QString, QString>> formParameters(const QByteArray& body) {
  QByteArray form = body;
  form.replace('+', ' ');  // a form's space; a real plus comes as %2B
  return QUrlQuery(QString::fromUtf8(form)).queryItems(QUrl::FullyDecoded);
}

WebRequest webRequest(const QHttpServerRequest& request) {
  WebRequest web;
  web.path = request.url().path();
  switch (request.method()) {
    case QHttpServerRequest::Method::Get:
      web.method = WebRequest::Method::get;
      web.parameters = request.query().queryItems(QUrl::FullyDecoded);
      break;
    case QHttpServerRequest::Method::Put:
      web.method = WebRequest::Method::put;
      web.parameters = formParameters(request.body());
      break;
    default:
      web.method = WebRequest::Method::other;
  }
  return web;
}

}  // namespace

AlpacaServer::AlpacaServer(const ReadingsFeed& feed, QObject* parent)
    : QAbstractHttpServer(parent), feed_(feed), device_(feed) {}

WebAnswer AlpacaServer::answer(const WebRequest& request) {
  if (request.method == WebRequest::Method::other) {
    return WebAnswer::text(405, QStringLiteral("Nebulor answers GET and PUT only"));
  }
  if (std::optional<WebAnswer> alpaca = device_.answer(request)) return *alpaca;
  if (request.method != WebRequest::Method::get) {
    return WebAnswer::text(405, QStringLiteral("%1 is read with GET").arg(request.path));
  }
  if (request.path == u"/") return livePage();
  if (request.path == QLatin1String(kLiveStatusPath)) return liveStatus(feed_.snapshot(), WallClock::now());
  if (request.path == QLatin1String(kLiveChartPath)) {
    const bool night = request.parameter(QStringLiteral("palette")) == QStringLiteral("night");
    const LiveChartSize size =
        liveChartSize(request.parameter(QStringLiteral("width")), request.parameter(QStringLiteral("scale")));
    return {200, "image/png", chart_.png(feed_.snapshot(), night, size)};
  }
  if (request.path == u"/setup" || request.path == u"/setup/v1/observingconditions/0/setup")
    return setupPage();
  return WebAnswer::text(404, QStringLiteral("Nothing at %1; the live page is at /").arg(request.path));
}

bool AlpacaServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
  const WebAnswer reply = answer(webRequest(request));
  makeResponder(request, socket)
      .write(reply.body, reply.contentType, static_cast<QHttpServerResponder::StatusCode>(reply.status));
  GuardedTcpServer::answered(socket);
  return true;
}

void AlpacaServer::missingHandler(const QHttpServerRequest&, QTcpSocket*) {}  // every request is handled

}  // namespace nebulor
