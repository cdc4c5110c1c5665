// Rounded window corners. The runtime's own top-level forms (the main window, the password form
// and the installer's progress form) ask the window manager for rounded corners. The rules live
// here; a backend's form derives from TRoundedCornerForm, reports when its native window is
// created, and passes the preference on (a window manager that decides by itself ignores it).
#pragma once

#include <cstdint>

namespace velloc::forms {

enum class TRoundedCornerType : std::uint8_t { rcDefault = 0, rcOff = 1, rcOn = 2, rcSmall = 3 };

// The window manager's corner preference (DWMWA_WINDOW_CORNER_PREFERENCE, a 4-byte integer).
enum class TCornerPreference : std::int32_t {
  Default = 0,     // DWMWCP_DEFAULT
  DoNotRound = 1,  // DWMWCP_DONOTROUND
  Round = 2,       // DWMWCP_ROUND
  RoundSmall = 3,  // DWMWCP_ROUNDSMALL
};

// The default of every form that does not choose for itself; rcOn from the start.
extern TRoundedCornerType DefaultRoundedCorners;

// The form's own choice unless it is rcDefault, then the unit-wide default.
TRoundedCornerType EffectiveRoundedCorners(TRoundedCornerType own, TRoundedCornerType unitDefault);
TCornerPreference CornerPreference(TRoundedCornerType effective);

class TRoundedCornerForm {
 public:
  TRoundedCornerForm() = default;
  TRoundedCornerForm(const TRoundedCornerForm&) = delete;
  TRoundedCornerForm& operator=(const TRoundedCornerForm&) = delete;
  virtual ~TRoundedCornerForm() = default;

  TRoundedCornerType RoundedCorners() const { return FRoundedCorners; }
  // Applied at once when the native window exists, else when it is created.
  void SetRoundedCorners(TRoundedCornerType value);

 protected:
  // The backend's native window has just been created (again, after a re-creation).
  void WindowCreated();
  void WindowDestroyed() { FWindowExists = false; }
  // Hands the preference to the window manager; a refusal changes nothing and is not reported.
  virtual void SetWindowCornerPreference(TCornerPreference preference) = 0;

 private:
  void ApplyRoundedCorners();

  TRoundedCornerType FRoundedCorners = TRoundedCornerType::rcDefault;
  bool FWindowExists = false;
};

}  // namespace velloc::forms
