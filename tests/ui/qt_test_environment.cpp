// One QApplication for every GUI test of this program (offscreen platform
// unless the caller chose another).
#include <cstdlib>
#include <memory>

#include <QApplication>
#include <gtest/gtest.h>

namespace {

struct QtApplicationEnvironment : ::testing::Environment {
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app.reset(); }

  int argc = 1;
  char name[16] = "megcxc_ui_tests";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> app;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
