// The simulated imaging application through the automation interface:
// links, readout geometry, header values, timing, clouds, fault switches,
// repeatability and what it shows in its window.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <numbers>
#include <numeric>
#include <set>
#include <thread>

#include "camera/sim/FrameRenderer.h"
#include "camera/sim/SimDocument.h"
#include "camera/sim/SimServer.h"

namespace nebulor::camera::sim {
namespace {

// A steady sky: no turbulence to speak of, no tip-tilt, no drift, so the
// star images sit where the geometry puts them.
constexpr const char* kSteady = "seeing=0.001,tiptilt=0,drift=0,altrate=0";

struct Sim {
  explicit Sim(const std::string& options)
      : server(parseSimSettings(options)), camera(server.createCamera()) {
    camera->setLinkEnabled(true);
  }

  std::shared_ptr<ImageDocument> exposeAndTake(float seconds = 0.01f) {
    camera->expose(seconds);
    EXPECT_TRUE(camera->imageReady());
    return camera->document();
  }

  SimServer server;
  std::unique_ptr<Camera> camera;
};

// Sensor positions of the two star images: centred on the sensor, the
// separation along `angle` degrees from the x axis.
struct Expected {
  double x1, y1, x2, y2;
};

Expected expectedStars(int width, int height, double separation, double angleDegrees) {
  const double a = angleDegrees * std::numbers::pi / 180.0;
  const double cx = (width - 1) / 2.0;
  const double cy = (height - 1) / 2.0;
  const double hx = separation / 2.0 * std::cos(a);
  const double hy = separation / 2.0 * std::sin(a);
  return {cx - hx, cy - hy, cx + hx, cy + hy};
}

TEST(SimCamera, LinksUnlessSwitchedToFail) {
  Sim good("");
  EXPECT_TRUE(good.camera->linkEnabled());
  Sim failing("linkfail=1");
  EXPECT_FALSE(failing.camera->linkEnabled());
  EXPECT_THROW(failing.camera->expose(0.01f), AutomationError);
}

TEST(SimCamera, LinkIsLostAfterTheGivenExposures) {
  Sim sim("linklost=3,width=100,height=80");
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(sim.camera->linkEnabled()) << i;
    sim.exposeAndTake();
  }
  EXPECT_FALSE(sim.camera->linkEnabled());
  EXPECT_THROW(sim.camera->expose(0.01f), AutomationError);
}

TEST(SimApplication, TelescopeLinkFaults) {
  struct Case {
    const char* options;
    bool raises;
    bool readsBack;
  };
  for (const Case& c :
       {Case{"", false, true}, Case{"telescope=raise", true, false}, Case{"telescope=false", false, false}}) {
    SimServer server(parseSimSettings(c.options));
    auto app = server.createApplication();
    if (c.raises)
      EXPECT_THROW(app->setTelescopeConnected(true), AutomationError) << c.options;
    else
      app->setTelescopeConnected(true);
    EXPECT_EQ(app->telescopeConnected(), c.readsBack) << c.options;
  }
}

TEST(SimCamera, FullFrameShowsBothStarsWhereTheGeometryPutsThem) {
  Sim sim(std::string(kSteady) + ",width=640,height=480,separation=50,angle=25");
  EXPECT_EQ(sim.camera->cameraXSize(), 640);
  EXPECT_EQ(sim.camera->cameraYSize(), 480);
  const auto doc = sim.exposeAndTake(0.5f);
  const Expected e = expectedStars(640, 480, 50, 25);
  const stars::Centroid s1 = doc->centroidNear(static_cast<std::int16_t>(e.x1 + 2),
                                               static_cast<std::int16_t>(e.y1 - 3), PassBy::reference);
  const stars::Centroid s2 =
      doc->centroidNear(static_cast<std::int16_t>(e.x2), static_cast<std::int16_t>(e.y2), PassBy::value);
  EXPECT_NEAR(s1.x, e.x1, 0.05);
  EXPECT_NEAR(s1.y, e.y1, 0.05);
  EXPECT_NEAR(s2.x, e.x2, 0.05);
  EXPECT_NEAR(s2.y, e.y2, 0.05);
  EXPECT_GT(s1.score, stars::kCleanDetection);
  EXPECT_GT(s2.score, stars::kCleanDetection);
}

TEST(SimCamera, HotPixelsAndCosmicRaysSpoilTheImageButNotTheCentroids) {
  const std::string night = std::string(kSteady) + ",width=640,height=480,separation=50,angle=25";
  Sim clean(night);
  Sim spoiled(night + ",hotpixels=20000,cosmics=30");
  const auto cleanImage = std::dynamic_pointer_cast<SimDocument>(clean.exposeAndTake(0.5f));
  const auto spoiledImage = std::dynamic_pointer_cast<SimDocument>(spoiled.exposeAndTake(0.5f));
  ASSERT_TRUE(cleanImage && spoiledImage);
  const std::vector<std::uint16_t>& before = cleanImage->frame()->pixels;
  const std::vector<std::uint16_t>& after = spoiledImage->frame()->pixels;
  const auto defects = std::inner_product(before.begin(), before.end(), after.begin(), 0L, std::plus<>(),
                                          [](int b, int a) { return a > b + 1000 ? 1L : 0L; });
  // Nearly every hot pixel lands apart (a few share a place), plus the tracks.
  EXPECT_GT(defects, 19000);
  EXPECT_LT(defects, 20000 + 30 * 3 * 11);
  const Expected e = expectedStars(640, 480, 50, 25);
  for (const auto& [x, y] : {std::pair{e.x1, e.y1}, std::pair{e.x2, e.y2}}) {
    const stars::Centroid star =
        spoiledImage->centroidNear(static_cast<std::int16_t>(std::nearbyint(x)),
                                   static_cast<std::int16_t>(std::nearbyint(y)), PassBy::value);
    EXPECT_TRUE(star.clean());
    EXPECT_NEAR(star.x, x, 0.05);
    EXPECT_NEAR(star.y, y, 0.05);
  }
}

TEST(SimCamera, SubframeImagesCountFromTheirOrigin) {
  Sim sim(std::string(kSteady) + ",width=640,height=480,separation=50,angle=25");
  const Expected e = expectedStars(640, 480, 50, 25);
  sim.camera->setStartX(250);
  sim.camera->setNumX(150);
  sim.camera->setStartY(200);
  sim.camera->setNumY(90);
  const auto doc = sim.exposeAndTake(0.5f);
  const stars::Centroid s1 = doc->centroidNear(static_cast<std::int16_t>(e.x1 - 250),
                                               static_cast<std::int16_t>(e.y1 - 200), PassBy::value);
  EXPECT_NEAR(s1.x, e.x1 - 250, 0.05);
  EXPECT_NEAR(s1.y, e.y1 - 200, 0.05);
  // Outside the subframe there is nothing to find.
  EXPECT_LT(doc->centroidNear(200, 200, PassBy::value).score, stars::kCleanDetection);
}

TEST(SimCamera, ReadoutGeometry) {
  struct Case {
    int startX, numX, startY, numY;
    int width, height;  // of the image; 0: the camera refuses
  };
  const std::vector<Case> cases{
      {0, 640, 0, 480, 640, 480}, {10, 100, 20, 50, 100, 50}, {600, 100, 470, 100, 40, 10},
      {639, 1, 479, 1, 1, 1},     {-1, 100, 0, 50, 0, 0},     {0, 100, -5, 50, 0, 0},
      {640, 10, 0, 10, 0, 0},     {0, 10, 480, 10, 0, 0},     {0, 0, 0, 10, 0, 0},
      {0, 10, 0, -3, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.startX << "+" << c.numX << ", " << c.startY << "+" << c.numY);
    Sim sim("width=640,height=480");
    sim.camera->setStartX(static_cast<std::int16_t>(c.startX));
    sim.camera->setNumX(static_cast<std::int16_t>(c.numX));
    sim.camera->setStartY(static_cast<std::int16_t>(c.startY));
    sim.camera->setNumY(static_cast<std::int16_t>(c.numY));
    if (c.width == 0) {
      EXPECT_THROW(sim.camera->expose(0.01f), AutomationError);
      continue;
    }
    sim.camera->expose(0.01f);
    ASSERT_TRUE(sim.camera->imageReady());
    const auto doc = std::dynamic_pointer_cast<SimDocument>(sim.camera->document());
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->frame()->width, c.width);
    EXPECT_EQ(doc->frame()->height, c.height);
  }
}

TEST(SimCamera, FullFrameUndoesASubframe) {
  Sim sim(std::string(kSteady) + ",width=640,height=480,separation=50,angle=25");
  sim.camera->setStartX(0);
  sim.camera->setNumX(50);
  sim.camera->setStartY(0);
  sim.camera->setNumY(50);
  sim.camera->setFullFrame();
  const Expected e = expectedStars(640, 480, 50, 25);
  const auto doc = sim.exposeAndTake(0.5f);
  EXPECT_NEAR(
      doc->centroidNear(static_cast<std::int16_t>(e.x2), static_cast<std::int16_t>(e.y2), PassBy::value).x,
      e.x2, 0.05);
}

double numberOf(const std::optional<FitsValue>& value) {
  EXPECT_TRUE(value.has_value());
  return value ? std::get<double>(*value) : 0.0;
}

TEST(SimDocument, HeaderComesFromTheSettingsAndTheSettingStar) {
  // One exposure of 1 s with no readout moves the clock 1 s: 60 exposures a minute.
  Sim sim("focallen=1500,pixelsize=7.5,altitude=50,altrate=-60,readout=0,width=100,height=80");
  auto doc = sim.exposeAndTake(1.0f);
  EXPECT_EQ(numberOf(doc->fitsKey("FOCALLEN")), 1500.0);
  EXPECT_EQ(numberOf(doc->fitsKey("XPIXSZ")), 7.5);
  EXPECT_EQ(numberOf(doc->fitsKey("YPIXSZ")), 7.5);
  EXPECT_NEAR(numberOf(doc->fitsKey("OBJCTALT")), 50.0 - 0.5 / 60.0, 1e-9);  // mid-exposure
  for (int i = 0; i < 59; ++i) doc = sim.exposeAndTake(1.0f);
  EXPECT_NEAR(numberOf(doc->fitsKey("OBJCTALT")), 50.0 - 59.5 / 60.0, 1e-9);
  EXPECT_FALSE(doc->fitsKey("DATE-OBS").has_value());
}

TEST(SimDocument, AltitudeStaysAboveTheHorizon) {
  Sim sim("altitude=2,altrate=-3600,readout=0,width=100,height=80");  // a degree a second
  std::shared_ptr<ImageDocument> doc;
  for (int i = 0; i < 5; ++i) doc = sim.exposeAndTake(1.0f);
  EXPECT_GT(numberOf(doc->fitsKey("OBJCTALT")), 0.0);
}

TEST(SimDocument, MissingHeaderKeys) {
  Sim sim("missing=FOCALLEN+YPIXSZ,width=100,height=80");
  const auto doc = sim.exposeAndTake();
  EXPECT_FALSE(doc->fitsKey("FOCALLEN").has_value());
  EXPECT_FALSE(doc->fitsKey("YPIXSZ").has_value());
  EXPECT_TRUE(doc->fitsKey("XPIXSZ").has_value());
  EXPECT_TRUE(doc->fitsKey("OBJCTALT").has_value());
}

// One exposure from start to finish, calling every operation once.
void fullExposure(Camera& camera) {
  camera.cameraXSize();
  camera.setFullFrame();
  camera.setStartX(0);
  camera.setNumX(static_cast<std::int16_t>(camera.cameraXSize()));
  camera.expose(0.01f);
  camera.imageReady();
  const auto doc = camera.document();
  doc->prepare();
  doc->fitsKey("FOCALLEN");
  doc->centroidNear(10, 10, PassBy::value);
  doc->clickNew();
  doc->mouseDown();
}

// Each operation as it comes in the exposure after the first, with the
// operations it needs on the way.
struct FaultCase {
  const char* operation;
  std::set<std::string> needs;
  std::function<void(Camera&)> call;
};

const std::vector<FaultCase>& faultCases() {
  const auto onNextImage = [](void (*use)(ImageDocument&)) {
    return [use](Camera& c) {
      c.expose(0.01f);
      c.imageReady();
      use(*c.document());
    };
  };
  const std::set<std::string> image{"expose", "imageready", "document"};
  static const std::vector<FaultCase> cases{
      {"expose", {}, [](Camera& c) { c.expose(0.01f); }},
      {"imageready",
       {"expose"},
       [](Camera& c) {
         c.expose(0.01f);
         c.imageReady();
       }},
      {"document",
       {"expose"},
       [](Camera& c) {
         c.expose(0.01f);
         c.document();
       }},
      {"subframe", {}, [](Camera& c) { c.setNumX(10); }},
      {"fullframe", {}, [](Camera& c) { c.setFullFrame(); }},
      {"sensorsize", {}, [](Camera& c) { c.cameraYSize(); }},
      {"prepare", image, onNextImage([](ImageDocument& d) { d.prepare(); })},
      {"fitskey", image, onNextImage([](ImageDocument& d) { d.fitsKey("XPIXSZ"); })},
      {"centroid", image, onNextImage([](ImageDocument& d) { d.centroidNear(10, 10, PassBy::value); })},
      {"click", image, onNextImage([](ImageDocument& d) { d.clickX(); })},
  };
  return cases;
}

TEST(SimFaults, EachSwitchedOperationFailsAfterTheGivenExposuresAndNoOtherDoes) {
  const std::string small = "width=120,height=100,throwafter=1,throw=";
  for (const FaultCase& failing : faultCases()) {
    SCOPED_TRACE(failing.operation);
    Sim sim(small + failing.operation);
    EXPECT_NO_THROW(fullExposure(*sim.camera));
    EXPECT_THROW(failing.call(*sim.camera), AutomationError);
    for (const FaultCase& other : faultCases()) {
      if (&other == &failing || other.needs.count(failing.operation) != 0) continue;
      Sim unaffected(small + failing.operation);
      fullExposure(*unaffected.camera);
      EXPECT_NO_THROW(other.call(*unaffected.camera)) << other.operation;
    }
  }
}

TEST(SimFaults, FailuresStartAfterTheGivenExposures) {
  Sim sim("throw=centroid,throwafter=2");
  EXPECT_NO_THROW(sim.exposeAndTake()->centroidNear(5, 5, PassBy::value));
  const auto second = sim.exposeAndTake();
  EXPECT_NO_THROW(second->centroidNear(5, 5, PassBy::value));
  EXPECT_THROW(sim.exposeAndTake()->centroidNear(5, 5, PassBy::value), AutomationError);
  // An image keeps the behaviour it was made with.
  EXPECT_NO_THROW(second->centroidNear(5, 5, PassBy::value));
}

bool samePixels(const std::string& a, const std::string& b) {
  Sim first(a), second(b);
  for (Sim* sim : {&first, &second}) {
    sim->camera->setStartX(560);
    sim->camera->setNumX(160);
    sim->camera->setStartY(450);
    sim->camera->setNumY(120);
  }
  double sumA = 0, sumB = 0;
  bool same = true;
  for (int i = 0; i < 5; ++i) {
    const auto da = first.exposeAndTake();
    const auto db = second.exposeAndTake();
    const stars::Centroid ca = da->centroidNear(80, 60, PassBy::value);
    const stars::Centroid cb = db->centroidNear(80, 60, PassBy::value);
    same = same && ca.x == cb.x && ca.y == cb.y && ca.score == cb.score;
    sumA += ca.x;
    sumB += cb.x;
  }
  return same && sumA == sumB;
}

TEST(SimServer, RepeatableFromTheSeed) {
  EXPECT_TRUE(samePixels("seed=5", "seed=5"));
  EXPECT_FALSE(samePixels("seed=5", "seed=6"));
}

TEST(SimCamera, ExtremeSettingsGiveSaturatedOrEmptyImagesNotGarbage) {
  struct Case {
    const char* options;
    std::uint16_t least, most;  // every pixel between these
  };
  for (const Case& c : {Case{"flux=1e12,sky=1e9,readnoise=0,gain=0.01", 65535, 65535},
                        Case{"separation=32767,sky=0,bias=0,readnoise=0", 0, 0}}) {
    Sim sim(std::string(c.options) + ",width=64,height=48");
    const auto doc = std::dynamic_pointer_cast<SimDocument>(sim.exposeAndTake(10.0f));
    ASSERT_TRUE(doc) << c.options;
    const auto [least, most] = std::minmax_element(doc->frame()->pixels.begin(), doc->frame()->pixels.end());
    EXPECT_EQ(*least, c.least) << c.options;
    EXPECT_EQ(*most, c.most) << c.options;
  }
}

// A star image spread wider than an int can count (what a hole of a
// nanometre once gave) leaves its light too thin to count, and no position
// overflows on the way.
TEST(FrameRenderer, AStarWiderThanAnyFrameLeavesItEmpty) {
  SimSettings settings;
  settings.sky = 0;
  settings.readNoise = 0;
  settings.bias = 0;
  const FrameRenderer renderer(settings, 1e300);
  sky::SceneState scene;
  scene.stars = {sky::StarImage{10, 10}, sky::StarImage{20, 12}};
  std::mt19937_64 noise(1);
  const stars::Frame frame = renderer.render(scene, SensorBox{0, 0, 32, 24}, 1.0, noise);
  ASSERT_EQ(frame.pixels.size(), 32u * 24u);
  EXPECT_EQ(*std::max_element(frame.pixels.begin(), frame.pixels.end()), 0);
}

TEST(SimCamera, InstantImagesAreReadyAtOnceRealtimeOnesAfterExposureAndReadout) {
  Sim instant("timing=instant,readout=5");
  EXPECT_FALSE(instant.camera->imageReady());
  EXPECT_THROW(instant.camera->document(), AutomationError);
  instant.camera->expose(10.0f);
  EXPECT_TRUE(instant.camera->imageReady());

  Sim realtime("timing=realtime,readout=0,width=200,height=200");
  const auto start = std::chrono::steady_clock::now();
  realtime.camera->expose(0.15f);
  EXPECT_FALSE(realtime.camera->imageReady());
  while (!realtime.camera->imageReady()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_NO_THROW(realtime.camera->document());
}

double cloudyShare(const std::string& options, int exposures) {
  Sim sim(std::string(kSteady) + ",width=200,height=120,separation=40,angle=0," + options);
  sim.camera->setStartX(60);
  sim.camera->setNumX(80);
  sim.camera->setStartY(30);
  sim.camera->setNumY(60);
  const Expected e = expectedStars(200, 120, 40, 0);
  int hidden = 0;
  for (int i = 0; i < exposures; ++i) {
    const auto doc = sim.exposeAndTake();
    const stars::Centroid star =
        doc->centroidNear(static_cast<std::int16_t>(std::nearbyint(e.x1 - 60)),
                          static_cast<std::int16_t>(std::nearbyint(e.y1 - 30)), PassBy::value);
    if (star.score < stars::kCleanDetection) ++hidden;
  }
  return static_cast<double>(hidden) / exposures;
}

TEST(SimScene, CloudsHideTheStarsForTheirShareOfExposures) {
  EXPECT_EQ(cloudyShare("clouds=0", 300), 0.0);
  EXPECT_EQ(cloudyShare("clouds=1", 50), 1.0);
  // Episodes of 10 exposures: about 4000 / 10 independent episodes, so the
  // share scatters by a few hundredths.
  EXPECT_NEAR(cloudyShare("clouds=0.3,cloudlength=10", 4000), 0.3, 0.08);
}

struct RecordingViewer : FrameViewer {
  void showFrame(std::shared_ptr<const stars::Frame> frame) override { frames.push_back(std::move(frame)); }
  void showCentroid(const stars::Centroid& star) override { centroids.push_back(star); }
  std::vector<std::shared_ptr<const stars::Frame>> frames;
  std::vector<stars::Centroid> centroids;
};

TEST(SimServer, ShowsEveryImageAndEveryMeasuredStar) {
  SimServer server(parseSimSettings("width=300,height=200"));
  RecordingViewer viewer;
  server.setViewer(&viewer);
  auto camera = server.createCamera();
  camera->setLinkEnabled(true);
  camera->expose(0.01f);
  ASSERT_TRUE(camera->imageReady());
  ASSERT_EQ(viewer.frames.size(), 1u);
  EXPECT_EQ(viewer.frames[0]->width, 300);
  const stars::Centroid c = camera->document()->centroidNear(150, 100, PassBy::value);
  ASSERT_EQ(viewer.centroids.size(), 1u);
  EXPECT_EQ(viewer.centroids[0].x, c.x);
  EXPECT_EQ(viewer.centroids[0].score, c.score);
}

// The polling of the star selection, as the imaging application sees it.
ClickPoint selectOne(ImageDocument& doc) {
  while (doc.clickNew() == 0 || doc.mouseDown()) {
  }
  while (!doc.mouseDown()) {
  }
  return {doc.clickX(), doc.clickY()};
}

TEST(SimServer, ScriptedBrightestStarsAreClickedInTheImage) {
  Sim sim(std::string(kSteady) + ",clicks=brightest,width=640,height=480,separation=50,angle=25");
  const auto doc = sim.exposeAndTake(0.5f);
  const Expected e = expectedStars(640, 480, 50, 25);
  const ClickPoint first = selectOne(*doc);
  const ClickPoint second = selectOne(*doc);
  // The two images are equally bright; either may come first.
  const bool inOrder = std::abs(first.x - e.x1) < 1;
  const ClickPoint one = inOrder ? first : second;
  const ClickPoint two = inOrder ? second : first;
  EXPECT_NEAR(one.x, e.x1, 1.0);
  EXPECT_NEAR(one.y, e.y1, 1.0);
  EXPECT_NEAR(two.x, e.x2, 1.0);
  EXPECT_NEAR(two.y, e.y2, 1.0);
}

}  // namespace
}  // namespace nebulor::camera::sim
