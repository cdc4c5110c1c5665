// The next starts after an update: trial, confirmation, roll-back and tidying, on files in memory.
#include <gtest/gtest.h>

#include "platform/fake/FakeUpdates.h"
#include "update/UpdateState.h"

namespace velloc::update {
namespace {

using Stage = TUpdateStage;

class UpdateStateTest : public ::testing::Test {
 protected:
  UpdateStateTest() {
    Files.Files[Names.Exe] = "v2";
    Files.Files[Names.Previous] = "v1";
    WriteUpdateRecord(Files, Names, {Stage::Installed, "1.0", "2.0", ""});
  }
  TStartDecision Start() {
    return DecideAtStart(Files, Names.Exe, [this] { return Now; });
  }
  Stage StageNow() const { return ReadUpdateRecord(Files, Names).Stage; }

  platform::fake::TFakeUpdateFiles Files;
  TUpdateFileNames Names{"/apps/notes"};
  std::chrono::steady_clock::time_point Now{};
};

TEST_F(UpdateStateTest, FileNamesBesideTheExecutable) {
  EXPECT_EQ(Names.State, "/apps/.notes.vlx-update");
  EXPECT_EQ(Names.Lock, "/apps/.notes.vlx-update.lock");
  EXPECT_EQ(Names.Previous, "/apps/.notes.vlx-previous");
  const TUpdateFileNames windows("C:\\Apps\\notes.exe");
  EXPECT_EQ(windows.Download, "C:\\Apps\\.notes.exe.vlx-download");
  EXPECT_EQ(windows.Failed, "C:\\Apps\\.notes.exe.vlx-failed");
}

TEST_F(UpdateStateTest, ConfirmedInTimeTheUpdateIsDone) {
  TStartDecision first = Start();
  ASSERT_TRUE(first.Trial);
  EXPECT_FALSE(first.Restart);
  EXPECT_EQ(StageNow(), Stage::Trial);
  EXPECT_TRUE(Files.Held.contains(Names.Lock)) << "the trial holds the lock while it runs";
  // Another start meanwhile (a further window) leaves the trial alone.
  TStartDecision meanwhile = Start();
  EXPECT_FALSE(meanwhile.Trial || meanwhile.Restart);
  Now += std::chrono::seconds(5);
  first.Trial->Confirm("2.0");
  EXPECT_FALSE(Files.Exists(Names.State));
  EXPECT_FALSE(Files.Exists(Names.Previous));
  EXPECT_EQ(Files.Files[Names.Exe], "v2");
  EXPECT_TRUE(Files.Held.empty());
  EXPECT_FALSE(Start().Trial);
}

TEST_F(UpdateStateTest, ATrialThatEndedWithoutConfirmingIsRolledBack) {
  Start().Trial.reset();  // the process ended: its lock is gone, the record says trial
  EXPECT_EQ(StageNow(), Stage::Trial);
  const TStartDecision next = Start();
  EXPECT_TRUE(next.Restart);
  EXPECT_EQ(next.Message, "version 2.0 ended before it came up; back to version 1.0");
  EXPECT_EQ(Files.Files[Names.Exe], "v1");
  const TUpdateRecord record = ReadUpdateRecord(Files, Names);
  EXPECT_EQ(record.Stage, Stage::RolledBack);
  EXPECT_EQ(record.To, "2.0") << "the version that failed is remembered";
  EXPECT_EQ(Files.Log, std::vector<std::string>{"restore /apps/notes"});
  // The version that runs now starts plainly.
  const TStartDecision after = Start();
  EXPECT_FALSE(after.Restart || after.Trial);
}

TEST_F(UpdateStateTest, ALateConfirmationRollsBackAtTheNextStart) {
  TStartDecision first = Start();
  Now += kConfirmWithin + std::chrono::seconds(1);
  first.Trial->Confirm("2.0");
  EXPECT_EQ(StageNow(), Stage::Failed);
  EXPECT_EQ(Files.Files[Names.Exe], "v2") << "the running window is not pulled away";
  const TStartDecision next = Start();
  EXPECT_TRUE(next.Restart);
  EXPECT_EQ(next.Message, "version 2.0 did not come up within 60 s; back to version 1.0");
  EXPECT_EQ(Files.Files[Names.Exe], "v1");
}

TEST_F(UpdateStateTest, AbandonedTrialIsTriedAgain) {
  Start().Trial->Abandon();
  EXPECT_EQ(StageNow(), Stage::Installed);
  EXPECT_TRUE(Start().Trial);
}

TEST_F(UpdateStateTest, AStaleRecordIsDropped) {
  // The process ended between writing the record and replacing the executable: the running
  // version is still the old one.
  Files.Files[Names.Exe] = "v1";
  Start().Trial->Confirm("1.0");
  EXPECT_FALSE(Files.Exists(Names.State));
  EXPECT_FALSE(Files.Exists(Names.Previous));
  EXPECT_EQ(Files.Files[Names.Exe], "v1");
}

TEST_F(UpdateStateTest, NoPreviousVersionNoRollBack) {
  Start().Trial.reset();
  Files.Files.erase(Names.Previous);
  const TStartDecision next = Start();
  EXPECT_FALSE(next.Restart);
  EXPECT_EQ(Files.Files[Names.Exe], "v2");
  EXPECT_FALSE(Files.Exists(Names.State));
  EXPECT_NE(next.Message.find("previous version is gone"), std::string::npos);
}

TEST_F(UpdateStateTest, LeftoversAreTidiedUnlessSomeoneIsUpdating) {
  Files.Files.erase(Names.State);
  Files.Files[Names.Download] = "half";
  Files.Files[Names.Failed] = "v3";
  Files.LockedElsewhere.insert(Names.Lock);  // another instance is downloading
  Start();
  EXPECT_TRUE(Files.Exists(Names.Download));
  Files.LockedElsewhere.clear();
  Start();
  EXPECT_FALSE(Files.Exists(Names.Download));
  EXPECT_FALSE(Files.Exists(Names.Failed));
  EXPECT_FALSE(Files.Exists(Names.Previous));
  EXPECT_EQ(Files.Files[Names.Exe], "v2");
}

TEST_F(UpdateStateTest, AnApplicationThatNeverUpdatedMakesNoFiles) {
  Files.Files.clear();
  Files.Files[Names.Exe] = "v1";
  const TStartDecision decision = Start();
  EXPECT_FALSE(decision.Trial || decision.Restart);
  EXPECT_EQ(Files.Files.size(), 1u);
  EXPECT_TRUE(decision.Message.empty());
}

}  // namespace
}  // namespace velloc::update
