#include <gtest/gtest.h>

#include <string>

#include "app/BackendFactory.h"

namespace nebulor::camera {
namespace {

TEST(BackendFactory, MakesTheSimulatorWithItsSettings) {
  for (const BackendUse use : {BackendUse::window, BackendUse::demo}) {
    const Backend plain = makeBackend("sim", use);
    ASSERT_NE(plain.server, nullptr);
    EXPECT_NE(plain.clicks, nullptr);
    EXPECT_TRUE(static_cast<bool>(plain.setViewer));
    ASSERT_TRUE(plain.trueSeeing.has_value());

    const Backend tuned = makeBackend("sim:seeing=0.8,altitude=40", use);
    EXPECT_DOUBLE_EQ(*tuned.trueSeeing, 0.8);
  }
}

TEST(BackendFactory, TheDemoSimulatorHandsItsImagesOverAtOnce) {
  // The demo chooses the stars on the image itself: nothing clicks, nothing waits.
  Backend demo = makeBackend("sim", BackendUse::demo);
  auto camera = demo.server->createCamera();
  camera->setLinkEnabled(true);
  camera->setFullFrame();
  camera->expose(0.5f);
  ASSERT_TRUE(camera->imageReady());
  auto document = camera->document();
  EXPECT_GT(document->frame()->pixels.size(), 0u);
  bool pressed = false;
  for (int poll = 0; poll < 4 && !pressed; ++poll) pressed = document->mouseDown();
  EXPECT_FALSE(pressed);
}

TEST(BackendFactory, TheWindowsSimulatorTakesRealTime) {
  Backend window = makeBackend("sim", BackendUse::window);
  auto camera = window.server->createCamera();
  camera->setLinkEnabled(true);
  camera->expose(60.0f);               // long enough that no load on the machine makes it look instant
  EXPECT_FALSE(camera->imageReady());  // a person sees the exposure take its time
}

TEST(BackendFactory, RefusesUnknownKindsAndBadSettingsInOneLine) {
  for (const char* choice : {"foo", "", "maxi", "sim:seeing=-1", "sim:nonsense=1", "sim:timing=slow"}) {
    SCOPED_TRACE(choice);
    try {
      makeBackend(choice, BackendUse::window);
      ADD_FAILURE() << "accepted";
    } catch (const BackendChoiceError& error) {
      const std::string text = error.what();
      EXPECT_FALSE(text.empty());
      EXPECT_EQ(text.find('\n'), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace nebulor::camera
