#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ranges>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "AlpacaClient.h"
#include "support/ProgramProcess.h"
#include "support/RawLogRows.h"
#include "support/TempFolder.h"

namespace nebulor::testing {

// The demo on the simulator's wall clock (a reading about every second),
// serving Alpaca on a free port, at 650 nm so that the wavelength counts.
class DemoWithAlpaca {
 public:
  static constexpr double kWavelength = 0.65;  // micrometres, as config.ini gives it

  DemoWithAlpaca() : port_(freeTcpPort()) {
    writeBytes(
        temp_.file("config.ini"),
        "holeDistance,150\r\nholeDiameter,50\r\nwavelength,0.65\r\nsystemNoise,0\r\ninitialExposure,0.5\r\n"
        "measurementExposure,0.01\r\nsamplesPerReading,20\r\n");
    program_ = std::make_unique<ProgramProcess>(
        NEBULOR_EXECUTABLE, temp_.path(),
        std::vector<std::string>{"--demo", "--readings", "0", "--camera", "sim:timing=realtime", "--alpaca",
                                 std::to_string(port_), "--alpaca-bind", "127.0.0.1"});
    const auto listening = [this] {
      const int fd = AlpacaClient(port_).connection();
      if (fd >= 0) ::close(fd);
      return fd >= 0;
    };
    for (int i = 0; i < 200 && !listening(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  int port() const { return port_; }
  std::string errors() const { return program_->error(); }

  // The named column of the readings log's rows as far as written; 0 for an empty field.
  std::vector<double> column(const std::string& name) const {
    const std::string text = temp_.read("SeeingReadings.csv");
    const auto fields = [](const std::string& row) {
      std::vector<std::string> out;
      std::istringstream in(row);
      for (std::string field; std::getline(in, field, ',');) out.push_back(field);
      return out;
    };
    const std::vector<std::string> header = fields(text.substr(0, text.find("\r\n")));
    const auto index =
        static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    std::vector<double> values;
    for (const std::vector<std::string>& row : rawLogRows(text) | std::views::transform(fields)) {
      if (index < row.size()) values.push_back(std::strtod(row[index].c_str(), nullptr));
    }
    return values;
  }

  // Waits (at most a minute) until the log holds `count` readings.
  bool waitForReadings(std::size_t count) const {
    for (int i = 0; i < 600 && column("seeing_arcsec").size() < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return column("seeing_arcsec").size() >= count;
  }

 private:
  TempFolder temp_;
  int port_;
  std::unique_ptr<ProgramProcess> program_;
};

}  // namespace nebulor::testing
