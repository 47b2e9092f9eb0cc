#include "app/qtmainthread.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <thread>

#include "qtapp.h"

namespace {

TEST(QtMainThread, SynchronizeFromAWorkerRunsOnTheGuiThreadAndWaits) {
  apptest::EnsureQtApp();
  QtMainThread mainThread;
  mainThread.Install();
  std::atomic<bool> ranOnGui{false}, done{false};
  int value = 0;
  std::thread worker([&] {
    platform::Synchronize([&] {
      ranOnGui = QThread::currentThread() == qApp->thread();
      value = 42;
    });
    EXPECT_EQ(value, 42);  // finished before Synchronize returned
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  worker.join();
  EXPECT_TRUE(ranOnGui);
}

TEST(QtMainThread, SynchronizeOnTheGuiThreadRunsDirectly) {
  apptest::EnsureQtApp();
  QtMainThread mainThread;
  bool ran = false;
  mainThread.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

}  // namespace
