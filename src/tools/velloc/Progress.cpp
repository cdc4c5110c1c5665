#include "tools/velloc/Progress.h"

#include <cstdio>
#include <unistd.h>

namespace velloc::cli {

TProgressBar::TProgressBar(std::string label, bool enabled)
    : FLabel(std::move(label)), FEnabled(enabled && ::isatty(STDERR_FILENO) == 1) {}

TProgressBar::~TProgressBar() {
  Finish();
}

void TProgressBar::SetMax(std::uint64_t max) {
  FMax = max;
  Draw();
}

void TProgressBar::SetPos(std::uint64_t pos) {
  FPos = pos;
  Draw();
}

void TProgressBar::Draw() {
  if (!FEnabled) return;
  const int percent = FMax == 0 ? 100 : static_cast<int>(FPos * 100 / FMax);
  if (percent == FLastPercent) return;
  FLastPercent = percent;
  constexpr int kWidth = 30;
  const int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r%-10s [%.*s%*s] %3d%% %8.1f MiB", FLabel.c_str(), filled,
               "##############################", kWidth - filled, "", percent,
               static_cast<double>(FPos) / (1024.0 * 1024.0));
  std::fflush(stderr);
  FDrawn = true;
}

void TProgressBar::Finish() {
  if (FDrawn) std::fputc('\n', stderr);
  FDrawn = false;
}

}  // namespace velloc::cli
