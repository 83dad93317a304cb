#include "config/SetupDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <cmath>
#include <optional>

#include "core/MonitorState.h"
#include "core/NumberText.h"
#include "display/MessageBox.h"
#include "display/WindowFont.h"

namespace nebulor {

namespace {

// Layout in twips, 15 to a pixel.
QRect twips(int left, int top, int width, int height) {
  return {left / 15, top / 15, width / 15, height / 15};
}

enum class Accepted { Positive, AnyNumber, SampleCount };

// One text box with its label, in the order OK stores them.
struct Field {
  const char* labelName;
  const char* caption;
  QRect labelRect;
  const char* boxName;
  QRect boxRect;
  const char* toolTip;
  Accepted accepted;
  double divisor;  // shown value / divisor = stored value
};

const std::array<Field, 7> kFields = {{
    {"Label2", "Hole Distance (mm)", twips(240, 120, 1815, 255), "TextHoleDistance",
     twips(2520, 120, 495, 285), nullptr, Accepted::Positive, 1},
    {"Label3", "Hole Diameter (mm)", twips(240, 600, 1455, 255), "TextHoleDiameter",
     twips(2520, 600, 495, 285), nullptr, Accepted::Positive, 1},
    {"Label4", "Light Wavelength (nm)", twips(240, 1080, 1695, 255), "TextWavelength",
     twips(2520, 1080, 495, 285), "500nm is standard value for visible light", Accepted::Positive, 1000},
    {"Label5", "System Noise", twips(240, 1560, 1575, 255), "TextSystemNoise", twips(2520, 1560, 495, 285),
     "Use default value of zero if unknown", Accepted::AnyNumber, 1},
    {"Label8", "Initial Exposure (s)", twips(240, 2040, 1935, 255), "TextInitialExposure",
     twips(2520, 2040, 495, 285), "Exposure duration for initial star location exposure", Accepted::Positive,
     1},
    {"Label9", "Measurement Exposure (s)", twips(240, 2520, 2055, 255), "TextMeasurementExposure",
     twips(2520, 2520, 495, 285), "Exposure duration for measurement run, should be 0.01-0.02s",
     Accepted::Positive, 1},
    {"Label10", "Exposures per Reading", twips(240, 3000, 1935, 255), "TextSamplesPerReading",
     twips(2520, 3000, 495, 285), "Number of exposures used to generare a single Seeing reading",
     Accepted::SampleCount, 1},
}};

// The stored value a box's text gives, or nothing when the measurement
// cannot use it.
std::optional<double> storedValue(const QString& text, const QLocale& locale, const Field& field) {
  bool ok = false;
  const double shown = locale.toDouble(text.trimmed(), &ok);
  if (!ok || !std::isfinite(shown)) return std::nullopt;
  if (field.accepted == Accepted::SampleCount) {
    const double count = std::nearbyint(shown);
    if (!samplesPerReadingFits(count)) return std::nullopt;
    return count;
  }
  const float stored = static_cast<float>(shown / field.divisor);
  if (!std::isfinite(stored) || (field.accepted == Accepted::Positive && !(stored > 0))) return std::nullopt;
  return stored;
}

QString refusal(const Field& field) {
  const QString name = QString::fromLatin1(field.caption);
  switch (field.accepted) {
    case Accepted::Positive:
      return name + QStringLiteral(" must be a number greater than 0.");
    case Accepted::SampleCount:
      return name + QStringLiteral(" must be a number from 1 to %1.").arg(kMaxSamples);
    case Accepted::AnyNumber:
      break;
  }
  return name + QStringLiteral(" must be a number.");
}

}  // namespace

SetupDialog::SetupDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("Setup"));
  setWindowTitle(QStringLiteral("Nebulor Setup"));
  setModal(true);
  setFixedSize(224, 277);
  setFont(windowFont());

  std::array<QLineEdit*, kFields.size()> boxes{};
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    const Field& field = kFields[i];
    auto* label = new QLabel(QString::fromLatin1(field.caption), this);
    label->setObjectName(QString::fromLatin1(field.labelName));
    label->setGeometry(field.labelRect);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    boxes[i] = new QLineEdit(this);
    boxes[i]->setObjectName(QString::fromLatin1(field.boxName));
    boxes[i]->setGeometry(field.boxRect);
    if (field.toolTip) boxes[i]->setToolTip(QString::fromLatin1(field.toolTip));
  }
  TextHoleDistance = boxes[0];
  TextHoleDiameter = boxes[1];
  TextWavelength = boxes[2];
  TextSystemNoise = boxes[3];
  TextInitialExposure = boxes[4];
  TextMeasurementExposure = boxes[5];
  TextSamplesPerReading = boxes[6];

  OK = new QPushButton(QStringLiteral("&OK"), this);
  OK->setObjectName(QStringLiteral("OK"));
  OK->setGeometry(twips(360, 3600, 975, 375));
  OK->setDefault(true);
  Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
  Cancel->setObjectName(QStringLiteral("Cancel"));
  Cancel->setGeometry(twips(1920, 3600, 975, 375));

  const std::array<QWidget*, 10> tabOrder = {OK,
                                             Cancel,
                                             TextWavelength,
                                             TextSystemNoise,
                                             TextInitialExposure,
                                             TextMeasurementExposure,
                                             TextHoleDistance,
                                             TextHoleDiameter,
                                             TextSamplesPerReading,
                                             OK};
  for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

  connect(OK, &QPushButton::clicked, this, &SetupDialog::OK_Click);
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool SetupDialog::edit(Config& config) {
  fill(config);
  OK->setFocus();
  editing_ = &config;
  const bool accepted = exec() == QDialog::Accepted;
  editing_ = nullptr;
  return accepted;
}

void SetupDialog::fill(const Config& config) {
  const QString point = locale().decimalPoint();
  const auto shown = [&point](float value) {
    return QString::fromStdString(singleText(value)).replace('.', point);
  };
  TextHoleDistance->setText(shown(config.holeDistance));
  TextHoleDiameter->setText(shown(config.holeDiameter));
  TextWavelength->setText(shown(config.wavelength * 1000.0f));
  TextSystemNoise->setText(shown(config.systemNoise));
  TextInitialExposure->setText(shown(config.initialExposure));
  TextMeasurementExposure->setText(shown(config.measurementExposure));
  TextSamplesPerReading->setText(QString::number(config.samplesPerReading));
}

void SetupDialog::OK_Click() {
  const std::array<QLineEdit*, kFields.size()> boxes = {
      TextHoleDistance,    TextHoleDiameter,        TextWavelength,       TextSystemNoise,
      TextInitialExposure, TextMeasurementExposure, TextSamplesPerReading};
  // Thousands separators are refused, so "0.5" can never read as 5 where
  // the full stop groups digits.
  QLocale numbers = locale();
  numbers.setNumberOptions(QLocale::RejectGroupSeparator);

  std::array<double, kFields.size()> values{};
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    const auto value = storedValue(boxes[i]->text(), numbers, kFields[i]);
    if (!value) {
      showMessageBox(this, refusal(kFields[i]));
      boxes[i]->setFocus();
      boxes[i]->selectAll();
      return;
    }
    values[i] = *value;
  }
  // Two holes cannot overlap (and the transverse response would turn non-positive).
  if (!(static_cast<float>(values[0]) > static_cast<float>(values[1]))) {
    showMessageBox(this, QStringLiteral("Hole Distance (mm) must be larger than Hole Diameter (mm): the two "
                                        "holes of the mask cannot overlap."));
    TextHoleDistance->setFocus();
    TextHoleDistance->selectAll();
    return;
  }

  if (editing_) {
    Config& config = *editing_;
    config.holeDistance = static_cast<float>(values[0]);
    config.holeDiameter = static_cast<float>(values[1]);
    config.wavelength = static_cast<float>(values[2]);
    config.systemNoise = static_cast<float>(values[3]);
    config.initialExposure = static_cast<float>(values[4]);
    config.measurementExposure = static_cast<float>(values[5]);
    config.samplesPerReading = static_cast<std::int16_t>(values[6]);
  }
  accept();
}

}  // namespace nebulor
