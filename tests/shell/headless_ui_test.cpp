#include "shell/interface/headless_ui.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace skylode {
namespace {

TEST(HeadlessUiTest, QuestionsTakeTheirDefaultsAndMessagesGoToTheLog) {
  std::ostringstream log;
  HeadlessUi ui(log);
  const MessageAnswer defaults[] = {MessageAnswer::kOk, MessageAnswer::kCancel, MessageAnswer::kNo,
                                    MessageAnswer::kYes};
  for (MessageAnswer d : defaults) {
    EXPECT_EQ(ui.ShowMessageBox({"File creation", "File already exists, overwrite ?", BoxIcon::kQuestion,
                                 MessageButtons::kOkCancel, d}),
              d);
  }
  EXPECT_NE(log.str().find("File creation: File already exists, overwrite ?\n"), std::string::npos);
  EXPECT_FALSE(ui.AskSaveFileName({}));
  EXPECT_FALSE(ui.AskText({}));
  EXPECT_FALSE(ui.EditWaypoint({}, true));
}

TEST(HeadlessUiTest, ChoicesKeepTheirInitialSelection) {
  std::ostringstream log;
  HeadlessUi ui(log);
  EXPECT_EQ(ui.ChooseTracks({"Track List (COM1)", {"newest", "older"}}), std::vector<int>{0});
  EXPECT_FALSE(ui.ChooseTracks({"Track List (COM1)", {}}));
  EXPECT_EQ(ui.ChooseSplitParts({"Split track (COM1)", {"a", "b", "c"}}), (std::vector<int>{0, 1, 2}));
}

TEST(HeadlessUiTest, PostedTasksRunInOrderOnTheDrainingThread) {
  std::ostringstream log;
  HeadlessUi ui(log);
  std::vector<int> order;
  std::thread::id ranOn;
  std::thread worker([&] {
    ui.Post([&] { order.push_back(1); });
    ui.Post([&] {
      order.push_back(2);
      ranOn = std::this_thread::get_id();
      ui.Post([&] { order.push_back(3); });  // posted by a task: runs in the same drain
    });
  });
  worker.join();
  EXPECT_EQ(ui.WaitAndRunPosted(std::chrono::milliseconds(100)), 3u);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(ui.WaitAndRunPosted(std::chrono::milliseconds(1)), 0u);
}

}  // namespace
}  // namespace skylode
