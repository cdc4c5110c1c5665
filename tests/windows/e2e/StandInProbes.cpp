#include "tests/windows/e2e/StandInProbes.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32TrayIcon.h"

// After windows.h, which the headers above bring.
#include <commctrl.h>
#include <shellapi.h>

namespace velloc::test::standin {
namespace {

using platform::win32::Narrow;
using rapidjson::Document;
using rapidjson::Value;

// How long a click or a hover is given to take effect, and how often it is looked at.
constexpr UINT kSettleMs = 250;
constexpr UINT kPollMs = 100;
constexpr int kTooltipPolls = 40;
constexpr int kPopupPolls = 30;
constexpr UINT kInputGapMs = 50;
constexpr UINT kMenuGetHmenu = 0x01E1;  // MN_GETHMENU

// The window, frame included, as 0x00RRGGBB pixels.
struct TCapture {
  int Width = 0, Height = 0;
  std::vector<std::uint32_t> Pixels;

  explicit TCapture(HWND window) {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) return;
    Width = rect.right - rect.left;
    Height = rect.bottom - rect.top;
    if (Width <= 0 || Height <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = -Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC source = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
      const HGDIOBJ old = SelectObject(memory, bitmap);
      BitBlt(memory, 0, 0, Width, Height, source, 0, 0, SRCCOPY);
      GdiFlush();
      const auto* data = static_cast<const std::uint32_t*>(bits);
      Pixels.assign(data,
                    data + static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height));
      for (std::uint32_t& pixel : Pixels)
        pixel &= 0x00FFFFFF;
      SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
  }
  long At(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width || y >= Height) return -1;
    return static_cast<long>(Pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) +
                                    static_cast<std::size_t>(x)]);
  }
};

bool IsRed(std::uint32_t p) {
  return ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) < 60;
}

// The grey of the test's red picture (0.299 of full red), as a disabled item shows it.
bool IsGreyOfRed(std::uint32_t p) {
  const int r = static_cast<int>((p >> 16) & 0xFF), g = static_cast<int>((p >> 8) & 0xFF),
            b = static_cast<int>(p & 0xFF);
  return r == g && g == b && r >= 70 && r <= 82;
}

// Flushes the paints that are due, so what is read is what shows.
void Settle(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
}

Value Text(const std::wstring& text, Document::AllocatorType& alloc) {
  const std::string utf8 = Narrow(text);
  return Value(utf8.c_str(), static_cast<rapidjson::SizeType>(utf8.size()), alloc);
}

Value MenuItems(HMENU menu, Document::AllocatorType& alloc) {
  Value items(rapidjson::kArrayType);
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t buffer[512] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_BITMAP | MIIM_STRING | MIIM_ID;
    info.dwTypeData = buffer;
    info.cch = 511;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    Value item(rapidjson::kObjectType);
    item.AddMember("text", Text(buffer, alloc), alloc);
    item.AddMember("separator", (info.fType & MFT_SEPARATOR) != 0, alloc);
    item.AddMember("ownerDraw", (info.fType & MFT_OWNERDRAW) != 0, alloc);
    item.AddMember("disabled", (info.fState & MFS_DISABLED) != 0, alloc);
    BITMAP bitmap{};
    const bool hasBitmap = info.hbmpItem && GetObjectW(info.hbmpItem, sizeof bitmap, &bitmap);
    item.AddMember("bitmap", hasBitmap ? static_cast<int>(bitmap.bmWidth) : 0, alloc);
    if (info.hSubMenu) item.AddMember("submenu", MenuItems(info.hSubMenu, alloc), alloc);
    items.PushBack(item, alloc);
  }
  return items;
}

// The bar's own colour: just inside its right end, past the last item.
long BarColour(HWND window, const TCapture& capture) {
  MENUBARINFO bar{};
  bar.cbSize = sizeof bar;
  RECT frame{};
  if (!GetMenuBarInfo(window, OBJID_MENU, 0, &bar) || !GetWindowRect(window, &frame)) return -1;
  return capture.At(bar.rcBar.right - 4 - frame.left,
                    (bar.rcBar.top + bar.rcBar.bottom) / 2 - frame.top);
}

void ProbeMenu(HWND window, Document& result) {
  auto& alloc = result.GetAllocator();
  Settle(window);
  HMENU bar = GetMenu(window);
  result.AddMember("attached", bar != nullptr, alloc);
  if (!bar) return;
  Value items = MenuItems(bar, alloc);
  const TCapture capture(window);
  RECT frame{};
  GetWindowRect(window, &frame);
  for (rapidjson::SizeType i = 0; i < items.Size(); ++i) {
    RECT rect{};
    if (!GetMenuItemRect(window, bar, i, &rect)) continue;
    int red = 0, grey = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
      for (int x = rect.left; x < rect.right; ++x) {
        const long pixel = capture.At(x - frame.left, y - frame.top);
        if (pixel < 0) continue;
        red += IsRed(static_cast<std::uint32_t>(pixel)) ? 1 : 0;
        grey += IsGreyOfRed(static_cast<std::uint32_t>(pixel)) ? 1 : 0;
      }
    }
    items[i].AddMember("redPixels", red, alloc);
    items[i].AddMember("greyPixels", grey, alloc);
  }
  result.AddMember("items", items, alloc);
  result.AddMember("barColour", static_cast<int64_t>(BarColour(window, capture)), alloc);
}

void ProbeColours(HWND window, Document& result) {
  auto& alloc = result.GetAllocator();
  Settle(window);
  RECT client{};
  GetClientRect(window, &client);
  const TCapture capture(window);
  POINT middle{client.right / 2, client.bottom / 2};
  ClientToScreen(window, &middle);
  RECT frame{};
  GetWindowRect(window, &frame);
  result.AddMember("client",
                   static_cast<int64_t>(capture.At(middle.x - frame.left, middle.y - frame.top)),
                   alloc);
  result.AddMember("bar", static_cast<int64_t>(BarColour(window, capture)), alloc);
  const auto rgb = [](int index) {
    const COLORREF c = GetSysColor(index);
    return static_cast<int64_t>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
  };
  Value system(rapidjson::kObjectType);
  system.AddMember("window", rgb(COLOR_WINDOW), alloc);
  system.AddMember("menu", rgb(COLOR_MENU), alloc);
  system.AddMember("menubar", rgb(COLOR_MENUBAR), alloc);
  system.AddMember("btnface", rgb(COLOR_BTNFACE), alloc);
  result.AddMember("system", system, alloc);
}

// The notification area's icons as screen rectangles, the newest last. Wine gives each icon a
// window of its own ("__wine_tray_icon") in newer versions; Wine 8 draws them inside its taskbar,
// from the right end, one slot of a small icon and a border of 2 pixels each.
std::vector<RECT> TrayIcons() {
  std::vector<HWND> windows;
  const auto collect = [](HWND window, LPARAM list) -> BOOL {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (std::wstring(name) == L"__wine_tray_icon" && IsWindowVisible(window))
      reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
  };
  EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
  HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
  if (tray) EnumChildWindows(tray, collect, reinterpret_cast<LPARAM>(&windows));
  std::vector<RECT> icons;
  for (HWND window : windows) {
    RECT rect{};
    if (GetWindowRect(window, &rect)) icons.push_back(rect);
  }
  if (!windows.empty() || !tray) return icons;
  // One tooltip tool per icon, in the taskbar's process; balloons are tooltips too.
  DWORD shell = 0;
  GetWindowThreadProcessId(tray, &shell);
  int count = 0;
  HWND tip = nullptr;
  while ((tip = FindWindowExW(nullptr, tip, L"tooltips_class32", nullptr)) != nullptr) {
    DWORD process = 0;
    GetWindowThreadProcessId(tip, &process);
    DWORD_PTR tools = 0;
    if (process == shell && !(GetWindowLongPtrW(tip, GWL_STYLE) & TTS_BALLOON) &&
        SendMessageTimeoutW(tip, TTM_GETTOOLCOUNT, 0, 0, SMTO_BLOCK, 1000, &tools))
      count += static_cast<int>(tools);
  }
  RECT bar{};
  GetWindowRect(tray, &bar);
  const int slot = GetSystemMetrics(SM_CXSMICON) + 4;
  for (int i = 0; i < count; ++i)
    icons.push_back({bar.right - slot * (i + 1), bar.top, bar.right - slot * i, bar.bottom});
  return icons;
}

// Whether the notification area holds an icon: a change of nothing succeeds only for an icon it
// has.
bool ShellHasIcon(HWND owner, UINT id) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = owner;
  data.uID = id;
  return owner && Shell_NotifyIconW(NIM_MODIFY, &data);
}

void ProbeTray(Document& result) {
  auto& alloc = result.GetAllocator();
  HWND own = FindWindowW(platform::win32::kTrayWindowClass, nullptr);
  result.AddMember("window", own != nullptr, alloc);
  result.AddMember("trayIcon", ShellHasIcon(own, platform::win32::kTrayIconId), alloc);
  result.AddMember("balloonIcon", ShellHasIcon(own, platform::win32::kBalloonIconId), alloc);
}

void ProbeWindow(HWND window, Document& result) {
  auto& alloc = result.GetAllocator();
  result.AddMember("visible", IsWindowVisible(window) != FALSE, alloc);
  result.AddMember("minimized", IsIconic(window) != FALSE, alloc);
}

POINT Centre(const RECT& rect) {
  return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// One mouse event at a screen point: a move there, or a button's press or release.
void Mouse(POINT at, DWORD flags) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(at.x, 65535, width - 1);
  input.mi.dy = MulDiv(at.y, 65535, height - 1);
  input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

HWND OpenPopup() {
  HWND popup = nullptr;
  while ((popup = FindWindowExW(nullptr, popup, L"#32768", nullptr)) != nullptr) {
    if (IsWindowVisible(popup)) return popup;
  }
  return nullptr;
}

// Where item `index` of the pop-up menu that shows is, if one shows.
std::optional<POINT> PopupItem(int index) {
  HWND popup = OpenPopup();
  if (!popup) return std::nullopt;
  auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, kMenuGetHmenu, 0, 0));
  RECT rect{};
  if (!menu || !GetMenuItemRect(popup, menu, static_cast<UINT>(index), &rect)) return std::nullopt;
  return Centre(rect);
}

// Closes the pop-up menu that shows, as Escape does.
void ClosePopup() {
  if (HWND popup = OpenPopup()) PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
}

bool SaveBmp(const TCapture& capture, const std::wstring& path) {
  if (capture.Pixels.empty()) return false;
  const int rowBytes = (capture.Width * 3 + 3) & ~3;
  const DWORD imageBytes = static_cast<DWORD>(rowBytes * capture.Height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageBytes;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = capture.Width;
  info.biHeight = capture.Height;  // bottom-up
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = imageBytes;
  std::vector<std::uint8_t> rows(imageBytes, 0);
  for (int y = 0; y < capture.Height; ++y) {
    std::uint8_t* row = rows.data() + static_cast<std::size_t>(capture.Height - 1 - y) *
                                          static_cast<std::size_t>(rowBytes);
    for (int x = 0; x < capture.Width; ++x) {
      const auto pixel = static_cast<std::uint32_t>(capture.At(x, y));
      row[x * 3] = static_cast<std::uint8_t>(pixel & 0xFF);
      row[x * 3 + 1] = static_cast<std::uint8_t>((pixel >> 8) & 0xFF);
      row[x * 3 + 2] = static_cast<std::uint8_t>((pixel >> 16) & 0xFF);
    }
  }
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (!out) return false;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info, sizeof info, 1, out);
  std::fwrite(rows.data(), 1, rows.size(), out);
  std::fclose(out);
  return true;
}

// A sequence of steps with pauses before them; the last one answers. A step that answers false
// is tried again after its pause, up to its number of tries.
struct TSequence : std::enable_shared_from_this<TSequence> {
  struct TStep {
    UINT Pause;
    std::function<bool(Document&)> Run;
    int Tries = 1;
  };
  TAfter After;
  TProbeDone Done;
  std::vector<TStep> Steps;
  std::size_t Next = 0;
  int Tried = 0;
  Document Result;

  void Add(UINT pause, std::function<void(Document&)> step) {
    Steps.push_back({pause, [step = std::move(step)](Document& result) {
                       step(result);
                       return true;
                     }});
  }
  void Poll(UINT pause, int tries, std::function<bool(Document&)> step) {
    Steps.push_back({pause, std::move(step), tries});
  }
  // A click as a hand makes it: to the point found (looked for until `tries` run out), then the
  // press and the release, each a moment after the last. `found` counts the clicks made.
  void Click(UINT pause, int tries, std::function<std::optional<POINT>()> where, DWORD press,
             const char* found) {
    auto at = std::make_shared<std::optional<POINT>>();
    Poll(pause, tries, [at, where](Document&) {
      *at = where();
      if (*at) Mouse(**at, 0);
      return at->has_value();
    });
    Add(kInputGapMs, [at, press](Document&) {
      if (*at) Mouse(**at, press);
    });
    Add(kInputGapMs, [at, press, found](Document& result) {
      if (*at) Mouse(**at, press << 1);  // the matching release
      auto& alloc = result.GetAllocator();
      if (!result.HasMember(found)) result.AddMember(rapidjson::StringRef(found), 0, alloc);
      if (*at) result[found].SetInt(result[found].GetInt() + 1);
    });
  }
  void Run() {
    if (Next >= Steps.size()) {
      Done(std::move(Result));
      return;
    }
    After(Steps[Next].Pause, [self = shared_from_this()] {
      TStep& step = self->Steps[self->Next];
      if (step.Run(self->Result) || ++self->Tried >= step.Tries) {
        ++self->Next;
        self->Tried = 0;
      }
      self->Run();
    });
  }
};

}  // namespace

std::wstring ResultsFolder() {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(L"VELLOC_STANDIN_OUT", value, 32768);
  if (length == 0 || length >= 32768) return {};
  std::wstring folder(value, length);
  if (folder.back() != L'\\') folder += L'\\';
  return folder;
}

long PixelAt(HWND window, int x, int y, bool whole) {
  HDC dc = whole ? GetWindowDC(window) : GetDC(window);
  const COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  if (c == CLR_INVALID) return -1;
  return static_cast<long>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
}

bool SaveWindowBitmap(HWND window, const std::wstring& path) {
  return SaveBmp(TCapture(window), path);
}

bool IsProbeStep(const rapidjson::Value& step) {
  return step.HasMember("probe") || step.HasMember("menuClick") || step.HasMember("trayClick") ||
         step.HasMember("trayTooltip") || step.HasMember("trayCallback") ||
         step.HasMember("screenshot");
}

void RunProbe(const rapidjson::Value& step, HWND window, const TAfter& after, TProbeDone done) {
  auto sequence = std::make_shared<TSequence>();
  sequence->After = after;
  sequence->Done = std::move(done);
  sequence->Result.SetObject();
  TSequence& steps = *sequence;

  if (step.HasMember("probe") && step["probe"].IsString()) {
    const std::string kind = step["probe"].GetString();
    steps.Add(0, [kind, window](Document& result) {
      if (kind == "menu") ProbeMenu(window, result);
      if (kind == "colours") ProbeColours(window, result);
      if (kind == "tray") ProbeTray(result);
      if (kind == "window") ProbeWindow(window, result);
    });
  } else if (step.HasMember("menuClick") && step["menuClick"].IsArray()) {
    std::vector<int> path;
    for (const auto& index : step["menuClick"].GetArray())
      if (index.IsInt()) path.push_back(index.GetInt());
    steps.Add(0, [window](Document&) { SetForegroundWindow(window); });
    steps.Click(
        0, 1,
        [window, first = path.empty() ? -1 : path[0]]() -> std::optional<POINT> {
          RECT rect{};
          if (first < 0 ||
              !GetMenuItemRect(window, GetMenu(window), static_cast<UINT>(first), &rect))
            return std::nullopt;
          return Centre(rect);
        },
        MOUSEEVENTF_LEFTDOWN, "clicks");
    // Each menu opens when the click before has been handled: looked for until it shows.
    for (std::size_t i = 1; i < path.size(); ++i)
      steps.Click(
          kPollMs, kPopupPolls, [index = path[i]] { return PopupItem(index); },
          MOUSEEVENTF_LEFTDOWN, "clicks");
    // A menu still open after the clicks would hold the next steps in its loop.
    steps.Add(kSettleMs, [window, levels = static_cast<int>(path.size())](Document& result) {
      auto& alloc = result.GetAllocator();
      result.AddMember("clicked", result["clicks"].GetInt() == levels, alloc);
      const bool open = OpenPopup() != nullptr;
      result.AddMember("leftOpen", open, alloc);
      if (open) {
        ClosePopup();
        PostMessageW(window, WM_CANCELMODE, 0, 0);
      }
    });
  } else if (step.HasMember("trayClick") && step["trayClick"].IsString()) {
    const bool right = std::string(step["trayClick"].GetString()) == "right";
    const int item = step.HasMember("item") && step["item"].IsInt() ? step["item"].GetInt() : -1;
    steps.Click(
        0, 1,
        []() -> std::optional<POINT> {
          const std::vector<RECT> icons = TrayIcons();
          if (icons.empty()) return std::nullopt;
          return Centre(icons.front());
        },
        right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN, "clicks");
    if (right) {
      // The menu opens; its item is clicked, or Escape closes it.
      steps.Poll(kPollMs, kPopupPolls, [](Document& result) {
        const bool shown = OpenPopup() != nullptr;
        if (!result.HasMember("menuShown"))
          result.AddMember("menuShown", false, result.GetAllocator());
        result["menuShown"].SetBool(shown);
        return shown;
      });
      if (item >= 0) {
        steps.Click(
            0, 1, [item] { return PopupItem(item); }, MOUSEEVENTF_LEFTDOWN, "itemClicks");
      } else {
        steps.Add(0, [](Document&) { ClosePopup(); });
      }
    }
    steps.Add(kSettleMs, [](Document& result) {
      result.AddMember("clicked", result["clicks"].GetInt() == 1, result.GetAllocator());
    });
  } else if (step.HasMember("trayTooltip")) {
    steps.Add(0, [](Document& result) {
      const std::vector<RECT> icons = TrayIcons();
      if (!icons.empty()) {
        // Onto the icon from beside it, so the tooltip sees the pointer arrive.
        Mouse({icons.front().left - 40, icons.front().top - 40}, 0);
        Mouse(Centre(icons.front()), 0);
      }
      result.AddMember("tooltip", "", result.GetAllocator());
    });
    steps.Poll(kPollMs, kTooltipPolls, [](Document& result) {
      HWND tip = nullptr;
      while ((tip = FindWindowExW(nullptr, tip, L"tooltips_class32", nullptr)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(tip, &process);
        if (process == GetCurrentProcessId() || !IsWindowVisible(tip)) continue;
        wchar_t text[256] = {};
        SendMessageTimeoutW(tip, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 1000,
                            nullptr);
        if (!text[0]) continue;
        result["tooltip"].SetString(Narrow(text).c_str(), result.GetAllocator());
        return true;
      }
      return false;
    });
  } else if (step.HasMember("trayCallback") && step["trayCallback"].IsUint()) {
    const UINT event = step["trayCallback"].GetUint();
    const UINT icon = step.HasMember("icon") && step["icon"].IsUint()
                          ? step["icon"].GetUint()
                          : platform::win32::kTrayIconId;
    steps.Add(0, [event, icon](Document& result) {
      HWND own = FindWindowW(platform::win32::kTrayWindowClass, nullptr);
      const bool posted = own && PostMessageW(own, platform::win32::kTrayCallbackMessage, 0,
                                              MAKELPARAM(event, icon));
      result.AddMember("posted", posted, result.GetAllocator());
    });
    steps.Add(kSettleMs, [](Document&) {});
  } else if (step.HasMember("screenshot") && step["screenshot"].IsString()) {
    const std::wstring name = platform::win32::Widen(step["screenshot"].GetString());
    steps.Add(0, [window, name](Document& result) {
      Settle(window);
      const bool saved = SaveWindowBitmap(window, ResultsFolder() + L"shot-" + name + L".bmp");
      result.AddMember("saved", saved, result.GetAllocator());
    });
  }
  sequence->Run();
}

}  // namespace velloc::test::standin
