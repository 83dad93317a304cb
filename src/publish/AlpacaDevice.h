#pragma once

#include <QJsonValue>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <variant>

#include "core/ReadingsFeed.h"
#include "publish/WebExchange.h"

namespace nebulor {

// Nebulor as ASCOM Alpaca device observingconditions/0 (interface version 2)
// and the Alpaca management API, after HTTP. It only reads the feed: a PUT
// changes Connected and AveragePeriod and nothing else.
//
// The conventions of the Alpaca API: parameter names in any case;
// ClientTransactionID echoed (0 when absent), ServerTransactionID counting
// up from 1; a request that cannot be understood (unknown device or member,
// a missing parameter or one that is no number) gets HTTP 400 with its
// reason as plain text; what the device refuses gets HTTP 200 with
// ErrorNumber and ErrorMessage. StarFWHM, the one sensor, answers "value not
// set" (0x402) while there is no reading, never a made-up number; every
// other sensor is not implemented (0x400).
class AlpacaDevice {
 public:
  using Clock = std::function<WallClock::time_point()>;

  explicit AlpacaDevice(const ReadingsFeed& feed, Clock clock = WallClock::now);

  // Nothing for a path outside /api/ and /management/.
  std::optional<WebAnswer> answer(const WebRequest& request);

 private:
  struct Outcome {
    Outcome() = default;
    Outcome(QJsonValue v) : value(std::move(v)) {}  // NOLINT: a value is an outcome
    Outcome(int number, QString text) : error(number), message(std::move(text)) {}

    QJsonValue value = QJsonValue::Undefined;  // undefined: no Value member
    int error = 0;
    QString message;
  };

  // An outcome, or an HTTP 400 for a request that cannot be understood.
  using Result = std::variant<Outcome, WebAnswer>;
  using Handler = Result (*)(AlpacaDevice& device, const WebRequest& request);
  struct Member {
    const char* name;  // as in the path, lower case
    Handler get;       // none: not read with GET
    Handler put;       // none: not set with PUT
  };
  static const std::array<Member, 20> kMembers;

  std::optional<WebAnswer> management(const WebRequest& request, const QString& member, quint32 client);
  WebAnswer device(const WebRequest& request, const QString& member, quint32 client);
  static Outcome notConnected();
  static Outcome notMeasured(const QString& sensor);
  static Result noCommands(AlpacaDevice& device, const WebRequest& request);
  Result connect(bool on);
  Result deviceState() const;
  Result setAveragePeriod(const WebRequest& request);
  Result aboutSensor(const WebRequest& request, const QString& member, bool anyWhenEmpty,
                     Outcome (*answer)(const AlpacaDevice&)) const;
  Result starFwhmNow() const;
  Outcome timeSinceLastUpdate() const;
  std::optional<double> currentStarFwhm() const;  // after AveragePeriod
  WebAnswer reply(quint32 client, const Outcome& outcome);

  const ReadingsFeed& feed_;
  Clock clock_;
  std::uint32_t serverTransaction_ = 0;
  bool connected_ = false;
  double averagePeriod_ = 0;  // hours
};

}  // namespace nebulor
