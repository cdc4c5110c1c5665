#include "platform/win32/Win32RuntimeInstaller.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <shellapi.h>
#include <string>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32Styles.h"

namespace velloc::platform::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"VellocEdgeInstallerForm";
constexpr int kFormSize = 80;
constexpr int kIndicatorLeft = 9, kIndicatorTop = 8, kIndicatorSize = 64;
constexpr UINT_PTR kAnimationTimer = 1;
constexpr UINT kFrameMilliseconds = 33;
constexpr unsigned kFramesPerTurn = 36;

// 0x00BBGGRR as it is, or 0xFF000000 plus the index of a system colour, which a built-in style
// gives its own colour.
COLORREF FormColor(std::int32_t color) {
  const auto value = static_cast<std::uint32_t>(color);
  if ((value & 0xFF000000u) == 0xFF000000u) return StyledSysColor(static_cast<int>(value & 0xFFu));
  return static_cast<COLORREF>(value & 0x00FFFFFFu);
}

bool RegisterFormClass(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kFormClass, &existing)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DROPSHADOW;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_APPSTARTING);
  wc.lpszClassName = kFormClass;
  return RegisterClassExW(&wc) != 0;
}

POINT OnCircle(double centre, double radius, double angle) {
  return {static_cast<LONG>(std::lround(centre + radius * std::cos(angle))),
          static_cast<LONG>(std::lround(centre - radius * std::sin(angle)))};
}

// The three designs, drawn in the indicator's 64-pixel square.
void DrawIndicator(HDC dc, int type, COLORREF color, unsigned frame) {
  const double turn = 2 * std::numbers::pi * (frame % kFramesPerTurn) / kFramesPerTurn;
  const double centre = kIndicatorSize / 2.0;
  HBRUSH brush = CreateSolidBrush(color);
  HPEN pen = CreatePen(PS_SOLID, 6, color);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  switch (type) {
    case 1: {  // rotating sector: a quarter of a disc going round
      const POINT from = OnCircle(centre, centre, -turn);
      const POINT to = OnCircle(centre, centre, -turn + std::numbers::pi / 2);
      Pie(dc, 4, 4, kIndicatorSize - 4, kIndicatorSize - 4, to.x, to.y, from.x, from.y);
      break;
    }
    case 2: {  // sector ring: a third of a ring going round
      SelectObject(dc, pen);
      const POINT from = OnCircle(centre, centre, -turn);
      const POINT to = OnCircle(centre, centre, -turn + 2 * std::numbers::pi / 3);
      Arc(dc, 8, 8, kIndicatorSize - 8, kIndicatorSize - 8, to.x, to.y, from.x, from.y);
      break;
    }
    default: {  // momentum dots: five dots chasing each other, the leader fastest
      for (int dot = 0; dot < 5; ++dot) {
        const double lag = 0.35 * dot * (1 + std::sin(turn) * 0.5);
        const POINT p = OnCircle(centre, centre - 8, -turn * 1.5 + lag);
        const int r = 5 - dot / 2;
        Ellipse(dc, p.x - r, p.y - r, p.x + r, p.y + r);
      }
      break;
    }
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
  DeleteObject(brush);
}

}  // namespace

TWin32RuntimeInstaller::~TWin32RuntimeInstaller() {
  if (FForm) DestroyWindow(FForm);
}

void TWin32RuntimeInstaller::ShowBusyForm(const TInstallerFormStyle& style) {
  FStyle = style;
  if (FForm) {
    InvalidateRect(FForm, nullptr, TRUE);
    return;
  }
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterFormClass(instance, &TWin32RuntimeInstaller::FormProc)) return;
  // A pop-up window alone: no caption, no frame, so the client area is the whole 80 pixels.
  const int left = (GetSystemMetrics(SM_CXSCREEN) - kFormSize) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - kFormSize) / 2;
  FForm = CreateWindowExW(0, kFormClass, L"", WS_POPUP, left, top, kFormSize, kFormSize, nullptr,
                          nullptr, instance, this);
  if (!FForm) return;
  // Rounded corners: the region spans one pixel past the form, as the form's bounds do.
  HRGN region = CreateRoundRectRgn(0, 0, kFormSize + 1, kFormSize + 1, 4, 4);
  if (region && SetWindowRgn(FForm, region, TRUE) == 0) DeleteObject(region);
  SetTimer(FForm, kAnimationTimer, kFrameMilliseconds, nullptr);
  ShowWindow(FForm, SW_SHOW);
  UpdateWindow(FForm);
}

LRESULT CALLBACK TWin32RuntimeInstaller::FormProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TWin32RuntimeInstaller*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_CLOSE:
      return 0;  // refused: Alt+F4 and the like leave the form on screen
    case WM_TIMER:
      if (self && wParam == kAnimationTimer) {
        ++self->FFrame;
        InvalidateRect(window, nullptr, FALSE);
      }
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT, without flicker
    case WM_PAINT:
      if (self) {
        self->Paint(window);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      if (self) self->FForm = nullptr;
      break;
    default:
      if (message == StyleChangedMessage()) {
        InvalidateRect(window, nullptr, FALSE);
        return 0;
      }
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void TWin32RuntimeInstaller::Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  // Drawn off screen and copied in one go.
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, kFormSize, kFormSize);
  HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  HBRUSH background = CreateSolidBrush(FormColor(FStyle.Color));
  const RECT all{0, 0, kFormSize, kFormSize};
  FillRect(memory, &all, background);
  DeleteObject(background);
  SetViewportOrgEx(memory, kIndicatorLeft, kIndicatorTop, nullptr);
  DrawIndicator(memory, FStyle.IndicatorType,
                FStyle.IndicatorColor == 0 ? RGB(0, 0, 0) : RGB(255, 255, 255), FFrame);
  SetViewportOrgEx(memory, 0, 0, nullptr);
  BitBlt(dc, 0, 0, kFormSize, kFormSize, memory, 0, 0, SRCCOPY);
  SelectObject(memory, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(window, &ps);
}

int TWin32RuntimeInstaller::RunElevatedAndWait(const std::string& path, const std::string& params) {
  const std::wstring file = win32::Widen(path);
  const std::wstring arguments = win32::Widen(params);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = GetActiveWindow();
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = arguments.empty() ? nullptr : arguments.c_str();
  info.nShow = SW_HIDE;
  // Declined elevation and a missing file both end here.
  if (!ShellExecuteExW(&info) || !info.hProcess) return 0;

  DWORD code = STILL_ACTIVE;
  bool quitting = false;
  // The busy form repaints and animates while the installer runs: messages are handled
  // whenever they arrive, and the wait ends as soon as the process does.
  while (!quitting) {
    if (!GetExitCodeProcess(info.hProcess, &code) || code != STILL_ACTIVE) break;
    MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Told to end: the quit message stays for the caller's own loop.
        PostQuitMessage(static_cast<int>(msg.wParam));
        quitting = true;
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (!GetExitCodeProcess(info.hProcess, &code)) code = 0;
  CloseHandle(info.hProcess);
  return static_cast<int>(code);
}

std::string TWin32RuntimeInstaller::WriteInstaller(const std::string& folder,
                                                   const std::string& name,
                                                   const std::vector<std::uint8_t>& bytes) {
  // A folder made by this call (its name new, CreateDirectory refuses an existing one, and it
  // inherits the user's own access from the data folder), then a file made new in it.
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    wchar_t suffix[16];
    swprintf(suffix, 16, L"%08x", static_cast<unsigned>(random()));
    const std::wstring dir = win32::Widen(folder) + L"Installer-" + suffix;
    if (!CreateDirectoryW(dir.c_str(), nullptr)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      return {};
    }
    const std::wstring path = dir + L"\\" + win32::Widen(name);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = file != INVALID_HANDLE_VALUE;
    for (std::size_t done = 0; written && done < bytes.size();) {
      DWORD chunk = 0;
      const auto size = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
      written = WriteFile(file, bytes.data() + done, size, &chunk, nullptr) && chunk > 0;
      done += chunk;
    }
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file)) written = false;
    if (written) return win32::Narrow(path);
    DeleteDirectory(win32::Narrow(dir));
    return {};
  }
  return {};
}

bool TWin32RuntimeInstaller::DeleteDirectory(const std::string& path) {
  // The source list ends with an extra null character; no undo flag, so nothing goes to the
  // recycle bin.
  std::wstring from = win32::Widen(path);
  from.push_back(L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  return SHFileOperationW(&operation) == 0;
}

bool TWin32RuntimeInstaller::DeleteFile(const std::string& path) {
  return ::DeleteFileW(win32::Widen(path).c_str()) != FALSE;
}

}  // namespace velloc::platform::win32
