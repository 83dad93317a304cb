#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace nebulor {

// A request as the device and the page see it, after HTTP.
struct WebRequest {
  enum class Method { get, put, other };
  Method method = Method::get;
  QString path;
  QList<QPair<QString, QString>> parameters;  // GET: the query; PUT: the form body

  // The value of the parameter named `name` in any case; nothing when absent.
  std::optional<QString> parameter(const QString& name) const {
    for (const auto& [key, value] : parameters) {
      if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    }
    return std::nullopt;
  }
};

// What goes back: a status and a body of a type.
struct WebAnswer {
  int status = 200;
  QByteArray contentType;
  QByteArray body;

  static WebAnswer text(int status, const QString& reason) {
    return {status, "text/plain; charset=utf-8", reason.toUtf8() + '\n'};
  }
};

}  // namespace nebulor
