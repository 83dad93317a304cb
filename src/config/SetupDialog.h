#pragma once

#include <QDialog>
#include <array>

#include "core/Config.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace nebulor {

// The Setup dialog: the seven configuration values in text boxes, in the
// user's number format, the wavelength in nanometres. Only OK stores them,
// and only when every box holds a usable number and the hole distance is
// larger than the hole diameter; so after OK all seven values are usable.
class SetupDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SetupDialog(QWidget* parent = nullptr);

  // Shows the dialog modally with config's values. Returns true after OK,
  // which has then stored the boxes into config; false after Cancel, Esc or
  // the close box, which change nothing.
  bool edit(Config& config);

 private:
  void fill(const Config& config);
  void OK_Click();

  Config* editing_ = nullptr;

  QLineEdit* TextHoleDistance;
  QLineEdit* TextHoleDiameter;
  QLineEdit* TextWavelength;
  QLineEdit* TextSystemNoise;
  QLineEdit* TextInitialExposure;
  QLineEdit* TextMeasurementExposure;
  QLineEdit* TextSamplesPerReading;
  QPushButton* OK;
  QPushButton* Cancel;
};

}  // namespace nebulor
