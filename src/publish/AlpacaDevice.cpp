#include "publish/AlpacaDevice.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QUuid>
#include <algorithm>
#include <array>

#include "Version.h"
#include "core/StarFwhm.h"

namespace nebulor {

namespace {

// Alpaca's error numbers.
constexpr int kNotImplemented = 0x400;
constexpr int kInvalidValue = 0x401;
constexpr int kValueNotSet = 0x402;
constexpr int kNotConnected = 0x407;
constexpr int kActionNotImplemented = 0x40C;

constexpr const char* kStarFwhm = "StarFWHM";
// The sensors Nebulor does not have; the member is the name in lower case.
constexpr std::array kOtherSensors = {"CloudCover",  "DewPoint",      "Humidity",   "Pressure",
                                      "RainRate",    "SkyBrightness", "SkyQuality", "SkyTemperature",
                                      "Temperature", "WindDirection", "WindGust",   "WindSpeed"};
constexpr double kLongestAveragePeriod = 24 * 365;  // hours

bool isOtherSensor(const QString& name) {
  for (const char* sensor : kOtherSensors) {
    if (name.compare(QLatin1String(sensor), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

// The same on every start of this machine, another on the next machine, as
// clients that keep a list of devices expect.
QString uniqueId() {
  static const QUuid kNebulor(QStringLiteral("5b3f2b9e-8d0c-4c6a-9a51-2f1f7c3e0d42"));
  return QUuid::createUuidV5(kNebulor, QSysInfo::machineUniqueId() + QSysInfo::machineHostName().toUtf8())
      .toString(QUuid::WithoutBraces);
}

WebAnswer badRequest(const QString& reason) { return WebAnswer::text(400, reason); }

// An unsigned 32-bit id, 0 when absent; nothing when it is no such number.
std::optional<quint32> transactionId(const WebRequest& request, const QString& name) {
  const std::optional<QString> text = request.parameter(name);
  if (!text) return 0;
  bool ok = false;
  const quint32 id = text->toUInt(&ok);
  if (!ok || text->startsWith(u'+')) return std::nullopt;
  return id;
}

}  // namespace

AlpacaDevice::AlpacaDevice(const ReadingsFeed& feed, Clock clock) : feed_(feed), clock_(std::move(clock)) {}

std::optional<WebAnswer> AlpacaDevice::answer(const WebRequest& request) {
  const QStringList parts = request.path.split(u'/');  // "", "api", "v1", type, number, member
  const bool api = parts.size() >= 2 && parts[1] == u"api";
  if (!api && (parts.size() < 2 || parts[1] != u"management")) return std::nullopt;
  const std::optional<quint32> client = transactionId(request, QStringLiteral("ClientTransactionID"));
  if (!client)
    return badRequest(QStringLiteral("ClientTransactionID must be a whole number from 0 to 4294967295"));
  if (!transactionId(request, QStringLiteral("ClientID"))) {
    return badRequest(QStringLiteral("ClientID must be a whole number from 0 to 4294967295"));
  }
  if (!api) return management(request, parts.mid(2).join(u'/'), *client);
  if (parts.size() != 6 || parts[2] != u"v1")
    return badRequest(QStringLiteral("No such API: ") + request.path);
  if (parts[3] != u"observingconditions") {
    return badRequest(QStringLiteral("No device of type '%1' here; Nebulor is an observingconditions device")
                          .arg(parts[3]));
  }
  if (parts[4] != u"0") {
    return badRequest(
        QStringLiteral("No observingconditions device number '%1' here; Nebulor is number 0").arg(parts[4]));
  }
  return device(request, parts[5], *client);
}

std::optional<WebAnswer> AlpacaDevice::management(const WebRequest& request, const QString& member,
                                                  quint32 client) {
  if (request.method != WebRequest::Method::get)
    return badRequest(QStringLiteral("The management API is read with GET"));
  if (member == u"apiversions") return reply(client, {QJsonArray{1}});
  if (member == u"v1/description") {
    return reply(client, {QJsonObject{{"ServerName", "Nebulor"},
                                      {"Manufacturer", "Nebulor"},
                                      {"ManufacturerVersion", QString::fromLatin1(kVersionText)},
                                      {"Location", ""}}});
  }
  if (member == u"v1/configureddevices") {
    return reply(client, {QJsonArray{QJsonObject{{"DeviceName", "Nebulor seeing monitor"},
                                                 {"DeviceType", "ObservingConditions"},
                                                 {"DeviceNumber", 0},
                                                 {"UniqueID", uniqueId()}}}});
  }
  return badRequest(QStringLiteral("No such management member: ") + member);
}

namespace {

// GET or PUT as the member wants; a wrong method is a malformed request.
std::optional<WebAnswer> wrongMethod(const WebRequest& request, WebRequest::Method wanted,
                                     const QString& member) {
  if (request.method == wanted) return std::nullopt;
  return WebAnswer::text(400, QStringLiteral("%1 is used with %2")
                                  .arg(member, wanted == WebRequest::Method::get ? QStringLiteral("GET")
                                                                                 : QStringLiteral("PUT")));
}

}  // namespace

WebAnswer AlpacaDevice::device(const WebRequest& request, const QString& member, quint32 client) {
  using Method = WebRequest::Method;
  const Result result = [&]() -> Result {
    if (isOtherSensor(member)) {
      if (auto wrong = wrongMethod(request, Method::get, member)) return *wrong;
      return notMeasured(member);
    }
    const auto found = std::find_if(kMembers.begin(), kMembers.end(),
                                    [&](const Member& m) { return member == QLatin1String(m.name); });
    if (found == kMembers.end())
      return badRequest(QStringLiteral("observingconditions has no member '%1'").arg(member));
    if (request.method == Method::get && found->get) return found->get(*this, request);
    if (request.method == Method::put && found->put) return found->put(*this, request);
    return *wrongMethod(request, found->get ? Method::get : Method::put, member);
  }();
  if (auto* malformed = std::get_if<WebAnswer>(&result)) return *malformed;
  return reply(client, std::get<Outcome>(result));
}

// Each member of the device with what a GET and a PUT of it do; a member
// without one is used with the other. What needs a connected device checks
// its request first, so a malformed one is said as such either way.
const std::array<AlpacaDevice::Member, 20> AlpacaDevice::kMembers = {{
    {"connected", [](AlpacaDevice& d, const WebRequest&) -> Result { return Outcome{d.connected_}; },
     [](AlpacaDevice& d, const WebRequest& request) -> Result {
       const QString value = request.parameter(QStringLiteral("Connected")).value_or(QString()).toLower();
       if (value != u"true" && value != u"false")
         return badRequest(QStringLiteral("Connected must be True or False"));
       d.connected_ = value == u"true";
       return Outcome{};
     }},
    // At once: Nebulor has nothing to set up.
    {"connect", nullptr, [](AlpacaDevice& d, const WebRequest&) -> Result { return d.connect(true); }},
    {"disconnect", nullptr, [](AlpacaDevice& d, const WebRequest&) -> Result { return d.connect(false); }},
    {"action", nullptr,
     [](AlpacaDevice&, const WebRequest&) -> Result {
       return Outcome{kActionNotImplemented, QStringLiteral("Nebulor has no actions")};
     }},
    {"commandblind", nullptr, &AlpacaDevice::noCommands},
    {"commandbool", nullptr, &AlpacaDevice::noCommands},
    {"commandstring", nullptr, &AlpacaDevice::noCommands},
    {"connecting", [](AlpacaDevice&, const WebRequest&) -> Result { return Outcome{false}; }, nullptr},
    {"description",
     [](AlpacaDevice&, const WebRequest&) -> Result {
       return Outcome{QStringLiteral("Nebulor DIMM seeing monitor")};
     },
     nullptr},
    {"driverinfo",
     [](AlpacaDevice&, const WebRequest&) -> Result {
       return Outcome{
           QStringLiteral("Nebulor %1: the seeing measured by differential image motion, as StarFWHM")
               .arg(QString::fromLatin1(kVersionText))};
     },
     nullptr},
    {"driverversion",
     [](AlpacaDevice&, const WebRequest&) -> Result {
       return Outcome{QStringLiteral("%1.%2").arg(kVersionMajor).arg(kVersionMinor)};
     },
     nullptr},
    {"interfaceversion", [](AlpacaDevice&, const WebRequest&) -> Result { return Outcome{2}; }, nullptr},
    {"name", [](AlpacaDevice&, const WebRequest&) -> Result { return Outcome{QStringLiteral("Nebulor")}; },
     nullptr},
    {"supportedactions", [](AlpacaDevice&, const WebRequest&) -> Result { return Outcome{QJsonArray{}}; },
     nullptr},
    {"devicestate", [](AlpacaDevice& d, const WebRequest&) -> Result { return d.deviceState(); }, nullptr},
    {"averageperiod",
     [](AlpacaDevice& d, const WebRequest&) -> Result {
       if (!d.connected_) return notConnected();
       return Outcome{d.averagePeriod_};
     },
     [](AlpacaDevice& d, const WebRequest& request) -> Result { return d.setAveragePeriod(request); }},
    {"starfwhm", [](AlpacaDevice& d, const WebRequest&) -> Result { return d.starFwhmNow(); }, nullptr},
    {"refresh", nullptr,
     [](AlpacaDevice& d, const WebRequest&) -> Result {
       if (!d.connected_) return notConnected();
       return Outcome{};  // every reading is published as it is reduced
     }},
    {"sensordescription",
     [](AlpacaDevice& d, const WebRequest& request) -> Result {
       return d.aboutSensor(request, QStringLiteral("sensordescription"), false, [](const AlpacaDevice&) {
         return Outcome{QString::fromLatin1(kStarFwhmDescription)};
       });
     },
     nullptr},
    {"timesincelastupdate",
     [](AlpacaDevice& d, const WebRequest& request) -> Result {
       return d.aboutSensor(request, QStringLiteral("timesincelastupdate"), true,
                            [](const AlpacaDevice& device) { return device.timeSinceLastUpdate(); });
     },
     nullptr},
}};

AlpacaDevice::Outcome AlpacaDevice::notConnected() {
  return Outcome{kNotConnected, QStringLiteral("Not connected: set Connected first")};
}

AlpacaDevice::Outcome AlpacaDevice::notMeasured(const QString& sensor) {
  return Outcome{kNotImplemented, sensor + QStringLiteral(" is not measured by Nebulor")};
}

AlpacaDevice::Result AlpacaDevice::connect(bool on) {
  connected_ = on;
  return Outcome{};
}

AlpacaDevice::Result AlpacaDevice::noCommands(AlpacaDevice&, const WebRequest&) {
  return Outcome{kNotImplemented, QStringLiteral("Nebulor takes no commands")};
}

// The sensor's value when there is one, and when it was asked.
AlpacaDevice::Result AlpacaDevice::deviceState() const {
  QJsonArray state;
  if (const std::optional<double> value = currentStarFwhm()) {
    state.append(QJsonObject{{"Name", kStarFwhm}, {"Value", *value}});
  }
  state.append(QJsonObject{{"Name", "TimeStamp"},
                           {"Value", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}});
  return Outcome{state};
}

AlpacaDevice::Result AlpacaDevice::setAveragePeriod(const WebRequest& request) {
  bool ok = false;
  const QString text = request.parameter(QStringLiteral("AveragePeriod")).value_or(QString());
  const double period = text.toDouble(&ok);
  if (!ok) return badRequest(QStringLiteral("AveragePeriod must be a number of hours, not '%1'").arg(text));
  if (!connected_) return notConnected();
  if (!(period >= 0 && period <= kLongestAveragePeriod)) {
    return Outcome{
        kInvalidValue,
        QStringLiteral("AveragePeriod must lie between 0 and %1 hours").arg(kLongestAveragePeriod)};
  }
  averagePeriod_ = period;
  return Outcome{};
}

// A member about one sensor, named by SensorName: StarFWHM, or (where
// `anyWhenEmpty`) an empty name for all of them.
AlpacaDevice::Result AlpacaDevice::aboutSensor(const WebRequest& request, const QString& member,
                                               bool anyWhenEmpty,
                                               Outcome (*answer)(const AlpacaDevice&)) const {
  const std::optional<QString> sensor = request.parameter(QStringLiteral("SensorName"));
  if (!sensor) return badRequest(QStringLiteral("%1 needs SensorName").arg(member));
  if (isOtherSensor(*sensor)) return notMeasured(*sensor);
  if (!connected_) return notConnected();
  if (sensor->compare(QLatin1String(kStarFwhm), Qt::CaseInsensitive) != 0 &&
      !(anyWhenEmpty && sensor->isEmpty()))
    return Outcome{kInvalidValue, QStringLiteral("No sensor named '%1'").arg(*sensor)};
  return answer(*this);
}

AlpacaDevice::Result AlpacaDevice::starFwhmNow() const {
  if (!connected_) return notConnected();
  const std::optional<double> value = currentStarFwhm();
  if (!value) {
    return Outcome{kValueNotSet, averagePeriod_ > 0
                                     ? QStringLiteral("No reading within the average period yet")
                                     : QStringLiteral("No reading yet")};
  }
  return Outcome{*value};
}

std::optional<double> AlpacaDevice::currentStarFwhm() const {
  const WallClock::time_point now = clock_();
  if (averagePeriod_ <= 0) {
    const std::optional<Reading> latest = feed_.latest();
    return latest ? starFwhm(*latest) : std::nullopt;
  }
  const auto since = now - std::chrono::duration_cast<WallClock::duration>(
                               std::chrono::duration<double, std::ratio<3600>>(averagePeriod_));
  return meanStarFwhm(feed_.snapshot(since).readings);
}

AlpacaDevice::Outcome AlpacaDevice::timeSinceLastUpdate() const {
  const std::optional<Reading> latest = feed_.latest();
  if (!latest) return Outcome{kValueNotSet, QStringLiteral("No reading yet")};
  return Outcome{std::chrono::duration<double>(clock_() - latest->time).count()};
}

WebAnswer AlpacaDevice::reply(quint32 client, const Outcome& outcome) {
  serverTransaction_ = serverTransaction_ == UINT32_MAX ? 1 : serverTransaction_ + 1;
  QJsonObject body{{"ClientTransactionID", static_cast<qint64>(client)},
                   {"ServerTransactionID", static_cast<qint64>(serverTransaction_)},
                   {"ErrorNumber", outcome.error},
                   {"ErrorMessage", outcome.message}};
  if (!outcome.value.isUndefined()) body.insert(QStringLiteral("Value"), outcome.value);
  return {200, "application/json", QJsonDocument(body).toJson(QJsonDocument::Compact)};
}

}  // namespace nebulor
