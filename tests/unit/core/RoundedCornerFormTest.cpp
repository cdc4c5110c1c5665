// The corner preference of the runtime's own forms: which value a form uses and when it reaches
// the window manager.
#include <vector>

#include <gtest/gtest.h>

#include "core/RoundedCornerForm.h"

namespace velloc::forms {
namespace {

using enum TRoundedCornerType;

class TRecordingForm : public TRoundedCornerForm {
 public:
  std::vector<TCornerPreference> Applied;
  using TRoundedCornerForm::WindowCreated;
  using TRoundedCornerForm::WindowDestroyed;

 protected:
  void SetWindowCornerPreference(TCornerPreference preference) override {
    Applied.push_back(preference);
  }
};

class RoundedCorners : public ::testing::Test {
 protected:
  void TearDown() override { DefaultRoundedCorners = rcOn; }
};

TEST_F(RoundedCorners, EffectiveValueAndMapping) {
  const struct {
    TRoundedCornerType own, unitDefault, effective;
    int preference;
  } cases[] = {
      {rcDefault, rcOn, rcOn, 2},       {rcDefault, rcOff, rcOff, 1},
      {rcDefault, rcSmall, rcSmall, 3}, {rcDefault, rcDefault, rcDefault, 0},
      {rcOff, rcOn, rcOff, 1},          {rcOn, rcOff, rcOn, 2},
      {rcSmall, rcDefault, rcSmall, 3}, {rcOff, rcDefault, rcOff, 1},
  };
  for (const auto& c : cases) {
    const TRoundedCornerType effective = EffectiveRoundedCorners(c.own, c.unitDefault);
    EXPECT_EQ(effective, c.effective);
    EXPECT_EQ(static_cast<int>(CornerPreference(effective)), c.preference);
  }
  EXPECT_EQ(sizeof(TCornerPreference), 4u);
}

TEST_F(RoundedCorners, FormsRoundByDefault) {
  TRecordingForm form;
  EXPECT_EQ(form.RoundedCorners(), rcDefault);
  EXPECT_EQ(DefaultRoundedCorners, rcOn);
  form.WindowCreated();
  EXPECT_EQ(form.Applied, std::vector{TCornerPreference::Round});
}

TEST_F(RoundedCorners, AppliedOnEachCreationAndOnChangeWhileTheWindowExists) {
  TRecordingForm form;
  form.SetRoundedCorners(rcSmall);  // no window yet: kept for later
  EXPECT_TRUE(form.Applied.empty());
  form.WindowCreated();
  form.SetRoundedCorners(rcOff);
  form.WindowDestroyed();  // re-created, as for a new border style
  form.SetRoundedCorners(rcDefault);
  DefaultRoundedCorners = rcSmall;
  form.WindowCreated();
  EXPECT_EQ(form.Applied, (std::vector{TCornerPreference::RoundSmall, TCornerPreference::DoNotRound,
                                       TCornerPreference::RoundSmall}));
}

}  // namespace
}  // namespace velloc::forms
