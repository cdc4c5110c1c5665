#include "core/RoundedCornerForm.h"

namespace velloc::forms {

TRoundedCornerType DefaultRoundedCorners = TRoundedCornerType::rcOn;

TRoundedCornerType EffectiveRoundedCorners(TRoundedCornerType own, TRoundedCornerType unitDefault) {
  if (own != TRoundedCornerType::rcDefault) return own;
  return unitDefault;
}

TCornerPreference CornerPreference(TRoundedCornerType effective) {
  switch (effective) {
    case TRoundedCornerType::rcOff:
      return TCornerPreference::DoNotRound;
    case TRoundedCornerType::rcOn:
      return TCornerPreference::Round;
    case TRoundedCornerType::rcSmall:
      return TCornerPreference::RoundSmall;
    case TRoundedCornerType::rcDefault:
      break;
  }
  return TCornerPreference::Default;
}

void TRoundedCornerForm::SetRoundedCorners(TRoundedCornerType value) {
  FRoundedCorners = value;
  if (FWindowExists) ApplyRoundedCorners();
}

void TRoundedCornerForm::WindowCreated() {
  FWindowExists = true;
  ApplyRoundedCorners();
}

void TRoundedCornerForm::ApplyRoundedCorners() {
  SetWindowCornerPreference(
      CornerPreference(EffectiveRoundedCorners(FRoundedCorners, DefaultRoundedCorners)));
}

}  // namespace velloc::forms
