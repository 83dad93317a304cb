#pragma once

#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "camera/Automation.h"

namespace nebulor::testing {

// What one exposure of the scripted camera gives.
struct ScriptedImage {
  // Header keywords present in the image; a keyword not listed is absent.
  std::map<std::string, camera::FitsValue> header{
      {"OBJCTALT", 90.0}, {"FOCALLEN", 2000.0}, {"XPIXSZ", 5.4}, {"YPIXSZ", 5.4}};
  // Answers of the centroid search, in call order; once they run out a search
  // finds a clean star (score 20) at the requested point plus jitter.
  std::deque<stars::Centroid> centroids;
  int pollsUntilReady = 0;                    // imageReady answers false this many times first
  std::shared_ptr<const stars::Frame> frame;  // its pixels; none: the application keeps them
};

// Every call the flows make on the scripted objects, in order, as short
// texts ("expose 0.01", "StartX 450", "centroid 12 14 value", ...).
using CallLog = std::vector<std::string>;

// Throws AutomationError for the calls a test marks as failing (or, as a
// backend with a bug would, std::logic_error).
struct FaultScript {
  std::map<std::string, int> failAfter;  // call name -> how many calls succeed first
  bool logicError = false;

  void check(const std::string& call) {
    const auto it = failAfter.find(call);
    if (it == failAfter.end()) return;
    if (it->second-- > 0) return;
    if (logicError) throw std::logic_error("Scripted bug in " + call);
    throw camera::AutomationError("Scripted failure of " + call);
  }
};

class ScriptedDocument : public camera::ImageDocument {
 public:
  ScriptedDocument(ScriptedImage image, int exposure, CallLog& calls, FaultScript& faults)
      : image_(std::move(image)), exposure_(exposure), calls_(calls), faults_(faults) {}

  void prepare() override {
    calls_.push_back("prepare");
    faults_.check("prepare");
  }
  std::optional<camera::FitsValue> fitsKey(const std::string& keyword) override {
    calls_.push_back("fits " + keyword);
    faults_.check("fits");
    const auto it = image_.header.find(keyword);
    if (it == image_.header.end()) return std::nullopt;
    return it->second;
  }
  std::int16_t clickNew() override { return clickReady; }
  bool mouseDown() override { return pressed; }
  std::int16_t clickX() override { return pressX; }
  std::int16_t clickY() override { return pressY; }

  stars::Centroid centroidNear(std::int16_t x, std::int16_t y, camera::PassBy passBy) override {
    calls_.push_back("centroid " + std::to_string(x) + " " + std::to_string(y) +
                     (passBy == camera::PassBy::value ? " value" : " reference"));
    faults_.check("centroid");
    if (!image_.centroids.empty()) {
      const stars::Centroid found = image_.centroids.front();
      image_.centroids.pop_front();
      return found;
    }
    // A deterministic wobble of a few tenths of a pixel, different per star and exposure.
    const double phase = exposure_ * 1.7 + x * 0.013 + y * 0.029;
    return {x + 0.3 * std::sin(phase), y + 0.25 * std::cos(1.3 * phase), 20};
  }

  std::shared_ptr<const stars::Frame> frame() const override {
    return image_.frame ? image_.frame : camera::ImageDocument::frame();
  }

  // The image window's click state, driven by the test (see ClickScript).
  std::int16_t clickReady = -1;
  bool pressed = false;
  std::int16_t pressX = 0;
  std::int16_t pressY = 0;

 private:
  ScriptedImage image_;
  int exposure_;
  CallLog& calls_;
  FaultScript& faults_;
};

class ScriptedCamera : public camera::Camera {
 public:
  ScriptedCamera(CallLog& calls, FaultScript& faults) : calls_(calls), faults_(faults) {}

  void setLinkEnabled(bool enabled) override {
    calls_.push_back(std::string("LinkEnabled ") + (enabled ? "true" : "false"));
    faults_.check("setLinkEnabled");
  }
  bool linkEnabled() override {
    calls_.push_back("read LinkEnabled");
    faults_.check("linkEnabled");
    return linkReads++ < linkReadsTrue;
  }
  void setDisableAutoShutdown(bool disable) override {
    calls_.push_back(std::string("DisableAutoShutdown ") + (disable ? "true" : "false"));
  }
  int cameraXSize() override { return xSize; }
  int cameraYSize() override { return ySize; }
  void setFullFrame() override { calls_.push_back("SetFullFrame"); }
  void setStartX(std::int16_t x) override { record("StartX", x); }
  void setNumX(std::int16_t width) override { record("NumX", width); }
  void setStartY(std::int16_t y) override { record("StartY", y); }
  void setNumY(std::int16_t height) override { record("NumY", height); }

  void expose(float seconds) override {
    calls_.push_back("expose " + std::to_string(seconds));
    faults_.check("expose");
    ++exposures;
    ScriptedImage image;
    if (!images.empty()) {
      image = std::move(images.front());
      images.pop_front();
    } else if (imageFor) {
      image = imageFor(exposures);
    }
    pollsLeft_ = image.pollsUntilReady;
    pending_ = std::make_shared<ScriptedDocument>(std::move(image), exposures, calls_, faults_);
  }
  bool imageReady() override {
    if (pollsLeft_ > 0) {
      --pollsLeft_;
      return false;
    }
    return pending_ != nullptr;
  }
  std::shared_ptr<camera::ImageDocument> document() override {
    calls_.push_back("document");
    current = pending_;
    return current;
  }

  int xSize = 1280;
  int ySize = 1024;
  int linkReadsTrue = 1 << 30;  // reads of LinkEnabled that answer true before it turns false
  int linkReads = 0;
  int exposures = 0;
  std::deque<ScriptedImage> images;                     // the next exposures, in order
  std::function<ScriptedImage(int exposure)> imageFor;  // then these
  std::shared_ptr<ScriptedDocument> current;            // the document the flows took last
  std::map<std::string, std::int16_t> subframe;         // StartX, NumX, StartY, NumY as last set

 private:
  void record(const std::string& name, std::int16_t value) {
    calls_.push_back(name + " " + std::to_string(value));
    subframe[name] = value;
  }

  CallLog& calls_;
  FaultScript& faults_;
  int pollsLeft_ = 0;
  std::shared_ptr<ScriptedDocument> pending_;
};

class ScriptedApplication : public camera::Application {
 public:
  explicit ScriptedApplication(FaultScript& faults) : faults_(faults) {}
  void setTelescopeConnected(bool connected) override {
    faults_.check("setTelescopeConnected");
    requested = connected;
  }
  bool telescopeConnected() override {
    faults_.check("telescopeConnected");
    return requested && telescopeAnswers;
  }
  std::string name() override { return applicationName; }

  bool requested = false;
  bool telescopeAnswers = true;
  std::string applicationName = "MaximDL";

 private:
  FaultScript& faults_;
};

// The scripted imaging application: hands out its camera and application
// objects (kept reachable for the test through the raw pointers).
class ScriptedServer : public camera::AutomationServer {
 public:
  std::unique_ptr<camera::Application> createApplication() override {
    faults.check("createApplication");
    auto made = std::make_unique<ScriptedApplication>(faults);
    application = made.get();
    application->telescopeAnswers = telescopeAnswers;
    application->applicationName = applicationName;
    return made;
  }
  std::unique_ptr<camera::Camera> createCamera() override {
    faults.check("createCamera");
    auto made = std::make_unique<ScriptedCamera>(calls, faults);
    camera = made.get();
    camera->linkReadsTrue = linkReadsTrue;
    return made;
  }

  CallLog calls;
  FaultScript faults;
  bool telescopeAnswers = true;
  std::string applicationName = "MaximDL";
  int linkReadsTrue = 1 << 30;
  ScriptedApplication* application = nullptr;
  ScriptedCamera* camera = nullptr;
};

// Clicks the given points in the image window of the camera's current
// document, one step per event dispatch: rest, press (held for a few
// dispatches), release, next point.
class ClickScript {
 public:
  ClickScript(ScriptedCamera& camera, std::vector<std::pair<std::int16_t, std::int16_t>> points, int hold = 3)
      : camera_(camera), points_(std::move(points)), hold_(hold) {}

  void step() {
    ScriptedDocument* document = camera_.current.get();
    if (document == nullptr || next_ >= points_.size()) return;
    if (!document->pressed) {
      document->pressX = points_[next_].first;
      document->pressY = points_[next_].second;
      document->pressed = true;
      held_ = 0;
    } else if (++held_ >= hold_) {
      document->pressed = false;
      ++next_;
    }
  }

 private:
  ScriptedCamera& camera_;
  std::vector<std::pair<std::int16_t, std::int16_t>> points_;
  int hold_;
  int held_ = 0;
  std::size_t next_ = 0;
};

}  // namespace nebulor::testing
