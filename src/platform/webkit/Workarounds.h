// Settings of WebKit that depend on the machine, decided before WebKit starts.
#pragma once

#include <filesystem>
#include <string>

namespace velloc::webkit {

// WebKitGTK's DMA-BUF renderer shows an empty window with NVIDIA's proprietary driver (its
// kernel module, open or closed, is "nvidia"; nouveau is not affected). True when that driver
// is loaded under `root` ("/" on a real machine) and the user has not decided themselves
// through WEBKIT_DISABLE_DMABUF_RENDERER (`userSetting` non-null).
bool NeedsDmabufWorkaround(const std::filesystem::path& root, const char* userSetting);

// Applies the workarounds this machine needs to the process environment, which WebKit and its
// web processes read.
void ApplyWebKitWorkarounds();

}  // namespace velloc::webkit
