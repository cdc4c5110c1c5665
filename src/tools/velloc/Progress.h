// A one-line progress bar on standard error, shown only when it is a terminal.
#pragma once

#include <cstdint>
#include <string>

namespace velloc::cli {

class TProgressBar {
 public:
  TProgressBar(std::string label, bool enabled);
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;
  ~TProgressBar();

  void SetMax(std::uint64_t max);
  void SetPos(std::uint64_t pos);
  void Finish();

 private:
  void Draw();

  std::string FLabel;
  bool FEnabled;
  bool FDrawn = false;
  std::uint64_t FMax = 0;
  std::uint64_t FPos = 0;
  int FLastPercent = -1;
};

}  // namespace velloc::cli
