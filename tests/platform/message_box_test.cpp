#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <thread>

using namespace mivora::platform;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {
class MessageBoxes : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHeadlessQuiet(true);
    ClearMessageBoxLog();
  }
  void TearDown() override {
    SetMessageBoxHandler(nullptr);
    SetHeadlessAnswer(MessageAnswer::Ok);
    SetHeadlessQuiet(true);
    ClearMessageBoxLog();
  }
};
int gOwner;
}  // namespace

TEST_F(MessageBoxes, HeadlessBoxesAreRecordedAndAnsweredByThePolicy) {
  EXPECT_EQ(ShowMessageBox(&gOwner, u"Play again?", u"Mivora", MessageButtons::OkCancel,
                           MessageIcon::Warning),
            MessageAnswer::Ok);
  SetHeadlessAnswer(MessageAnswer::Cancel);
  EXPECT_EQ(ShowMessageBox(nullptr, u"Stop?", u"Q", MessageButtons::OkCancel),
            MessageAnswer::Cancel);
  // A box with only OK cannot answer Cancel.
  EXPECT_EQ(ShowMessageBox(nullptr, u"Done", u"Info", MessageButtons::Ok, MessageIcon::Information),
            MessageAnswer::Ok);

  const std::vector<MessageBoxRecord> log = MessageBoxLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].owner, &gOwner);
  EXPECT_EQ(log[0].text, u"Play again?");
  EXPECT_EQ(log[0].caption, u"Mivora");
  EXPECT_EQ(log[0].buttons, MessageButtons::OkCancel);
  EXPECT_EQ(log[0].icon, MessageIcon::Warning);
  EXPECT_EQ(log[0].answer, MessageAnswer::Ok);
  EXPECT_EQ(log[1].owner, nullptr);
  EXPECT_EQ(log[1].icon, MessageIcon::None);
  EXPECT_EQ(log[1].answer, MessageAnswer::Cancel);
  EXPECT_EQ(log[2].buttons, MessageButtons::Ok);
  EXPECT_EQ(log[2].icon, MessageIcon::Information);
  EXPECT_EQ(log[2].answer, MessageAnswer::Ok);
  ClearMessageBoxLog();
  EXPECT_TRUE(MessageBoxLog().empty());
}

TEST_F(MessageBoxes, AHandlerReplacesTheHeadlessPathAndIsStillRecorded) {
  SetHeadlessQuiet(false);
  std::vector<MessageBoxRecord> seen;
  SetMessageBoxHandler([&](const MessageBoxRecord& box) {
    seen.push_back(box);
    return MessageAnswer::Cancel;
  });
  CaptureStderr();
  EXPECT_EQ(ShowMessageBox(&gOwner, u"Seek failed", u"Mivora", MessageButtons::OkCancel,
                           MessageIcon::Error),
            MessageAnswer::Cancel);
  EXPECT_EQ(ShowMessageBox(&gOwner, u"Ok only", u"Mivora"), MessageAnswer::Ok);
  EXPECT_EQ(GetCapturedStderr(), "");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].owner, &gOwner);
  EXPECT_EQ(seen[0].text, u"Seek failed");
  EXPECT_EQ(seen[0].icon, MessageIcon::Error);
  EXPECT_EQ(seen[0].buttons, MessageButtons::OkCancel);
  const std::vector<MessageBoxRecord> log = MessageBoxLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].answer, MessageAnswer::Cancel);
  EXPECT_EQ(log[1].answer, MessageAnswer::Ok);

  // Back to headless: the box is printed unless quiet.
  SetMessageBoxHandler(nullptr);
  CaptureStderr();
  ShowMessageBox(nullptr, u"Fichier endommag\u00e9", u"Erreur");
  EXPECT_EQ(GetCapturedStderr(), "Erreur: Fichier endommag\xc3\xa9\n");
  SetHeadlessQuiet(true);
  CaptureStderr();
  ShowMessageBox(nullptr, u"Silent", u"Quiet");
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(MessageBoxLog().size(), 4u);
}

TEST_F(MessageBoxes, BoxesFromManyThreadsAreAllRecorded) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 50; ++i) ShowMessageBox(nullptr, u"x", u"y", MessageButtons::OkCancel);
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(MessageBoxLog().size(), 200u);
}
