#include <gtest/gtest.h>

#include <thread>

#include "platform/windows/messagequeuewindow.h"

using namespace platform;

TEST(Windows, PostedMessagesQueueAndSentMessagesWaitForTheHandler) {
  std::vector<std::pair<UINT, LPARAM>> seen;
  MessageQueueWindow window([&](UINT msg, WPARAM, LPARAM l) -> LRESULT {
    seen.emplace_back(msg, l);
    return l * 2;
  });
  LRESULT sent = 0;
  std::thread worker([&] {
    PostMessage(&window, 1, 0, 10);
    sent = SendMessage(&window, 2, 0, 21);  // returns only after the window handled it
    PostMessage(&window, 3, 0, 30);
  });
  ASSERT_TRUE(window.PumpUntil([&] { return seen.size() == 3; }, std::chrono::seconds(5)));
  worker.join();
  EXPECT_EQ(sent, 42);
  EXPECT_EQ(seen, (std::vector<std::pair<UINT, LPARAM>>{{1, 10}, {2, 21}, {3, 30}}));
}

TEST(Windows, SynchronizeRunsOnTheWindowThread) {
  MessageQueueWindow window([](UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  std::thread::id ranOn;
  bool done = false;
  std::thread worker([&] {
    window.Synchronize([&] { ranOn = std::this_thread::get_id(); });
    done = true;
  });
  ASSERT_TRUE(window.PumpUntil([&] { return ranOn != std::thread::id(); }, std::chrono::seconds(5)));
  worker.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(Windows, MessageBoxWithoutPresenterAnswersNo) {
  SetMessageBoxPresenter(nullptr);
  EXPECT_EQ(MessageBox(nullptr, L"text", L"caption", MB_YESNO), 0);
  EXPECT_FALSE(PostMessage(nullptr, 1, 0, 0));
}
