// The program's application object: an exception that escapes an event
// handler is shown in a box with its text and ends the message loop, which
// returns 0 (the program then exits with 0 as always).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <stdexcept>

#include "app/kestrunexapplication.h"
#include "scriptedboxes.h"

namespace {

class Throwing final : public QObject {
 public:
  explicit Throwing(bool standard) : m_standard(standard) {}
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    if (m_standard) throw std::runtime_error("config.xml: the banner cannot be drawn");
    throw 42;
  }

 private:
  bool m_standard;
};

TEST(KestrunexApplication, AnEscapingExceptionIsShownAndTheLoopEndsWithZero) {
  int argc = 1;
  char name[] = "kestrunex";
  char* argv[] = {name, nullptr};
  KestrunexApplication app(argc, argv);
  for (bool standard : {true, false}) {
    wiztest::ScriptedBoxes boxes;
    Throwing target(standard);
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QTimer watchdog;  // a loop that did not end fails the test instead of hanging it
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(10000);
    EXPECT_EQ(app.exec(), 0);
    const auto seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].simple);
    EXPECT_EQ(seen[0].text, standard ? L"config.xml: the banner cannot be drawn" : L"");
  }
}

}  // namespace
