#pragma once
// The offscreen QApplication of the app tests, made on first use.

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

namespace apptest {

// The application is torn down by a test environment before main ends: Qt
// cannot destroy it among the static destructors.
class QtAppEnvironment final : public ::testing::Environment {
 public:
  static std::unique_ptr<QApplication>& App() {
    static std::unique_ptr<QApplication> app;
    return app;
  }
  void TearDown() override { App().reset(); }
};

inline void EnsureQtApp() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static const bool registered = (::testing::AddGlobalTestEnvironment(new QtAppEnvironment), true);
  (void)registered;
  if (!QApplication::instance()) QtAppEnvironment::App() = std::make_unique<QApplication>(argc, argv);
}

}  // namespace apptest
