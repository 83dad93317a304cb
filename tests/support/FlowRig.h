#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "flows/MeasurementCycle.h"
#include "flows/StarSelection.h"
#include "flows/Startup.h"
#include "support/FakeMonitorUi.h"
#include "support/ScriptedCamera.h"

namespace nebulor::testing {

// A folder of its own for config.ini and the raw log, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::random_device entropy;
    do {
      path_ = std::filesystem::temp_directory_path() / ("nebulor-test-" + std::to_string(entropy()));
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder with its trailing separator, as GetEXEPath gives it.
  std::string folder() const { return (path_ / "").string(); }
  std::filesystem::path file(const std::string& name) const { return path_ / name; }

  std::string read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void write(const std::string& name, const std::string& text) const {
    std::ofstream(file(name), std::ios::binary) << text;
  }

 private:
  std::filesystem::path path_;
};

// The flows over a scripted imaging application and a recording window.
struct FlowRig {
  TempFolder temp;
  ScriptedServer server;
  MonitorState state;
  FakeMonitorUi ui{&state};
  AutomationObjects objects;
  StarSelection selection{state, ui};
  MeasurementCycle cycle{state, ui, temp.folder()};

  ScriptedCamera& camera() { return *server.camera; }

  void startUp() { RunStartup(state, ui, server, objects, temp.folder()); }

  // A selection whose two clicks find the given centroids (full-frame pixels).
  void selectStars(camera::Centroid star1, camera::Centroid star2) {
    ScriptedImage fullFrame;
    fullFrame.centroids = {star1, star2};
    camera().images.push_back(fullFrame);
    ClickScript clicks(camera(), {{static_cast<std::int16_t>(star1.x), static_cast<std::int16_t>(star1.y)},
                                  {static_cast<std::int16_t>(star2.x), static_cast<std::int16_t>(star2.y)}});
    ui.onDispatch = [&clicks] { clicks.step(); };
    selection.CommandSelect_Click();
    ui.onDispatch = nullptr;
  }

  // The data rows of the raw log (the header line left out), without CR LF.
  std::vector<std::string> logRows() const {
    std::vector<std::string> rows;
    const std::string text = temp.read(kRawLogFileName);
    std::size_t start = text.find("\r\n");
    while (start != std::string::npos && start + 2 < text.size()) {
      const std::size_t end = text.find("\r\n", start + 2);
      rows.push_back(text.substr(start + 2, end - start - 2));
      start = end;
    }
    return rows;
  }
};

}  // namespace nebulor::testing
