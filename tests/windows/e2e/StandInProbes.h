// The stand-in's look at what the runtime drew, through Win32 as a person's tools would see it:
// the menu bar's items read back with GetMenuItemInfoW and its pixels, clicks sent as mouse input
// to menu items and to the notification area's icon, the tray window, colours of the main window,
// and screenshots. Steps of the script (see StandIn.h), each answered with a JSON object:
//   {"probe": "menu"}       the menu bar: items (text, separator, disabled, owner-drawn, bitmap
//                           side, submenu), for top-level items whether the drawn item shows the
//                           red of the test's picture or its grey; the bar's own colour
//   {"probe": "colours"}    the main window's client colour, the bar's colour, system colours
//   {"probe": "window"}     the main window: visible, minimized
//   {"probe": "tray"}       our tray window, the notification area's icons of this process
//   {"menuClick": [i, j]}   clicks the bar's item i, then item j of the menu it opens
//   {"trayClick": "left"}   clicks the notification area's icon; "right" with "item": k then
//                           clicks item k of the menu that opens (or presses Escape without one)
//   {"trayTooltip": true}   hovers over the icon and reads the tooltip that shows
//   {"trayCallback": event, "icon": id}  posts what the shell sends for the event (a balloon
//                           click, which Wine's notification area never sends)
//   {"screenshot": name}    the main window as shot-<name>.bmp in the results folder
// Also used from the program's start: the password form's colours and the start-up dialogs.
#pragma once

#include <functional>
#include <string>
#include <windows.h>

#include <rapidjson/document.h>

namespace velloc::test::standin {

using TAfter = std::function<void(UINT milliseconds, std::function<void()> task)>;
using TProbeDone = std::function<void(rapidjson::Document result)>;

bool IsProbeStep(const rapidjson::Value& step);
// Runs on the user-interface thread; `done` is called there once, perhaps after some timers.
void RunProbe(const rapidjson::Value& step, HWND mainWindow, const TAfter& after, TProbeDone done);

// The colour of a window's pixel as 0xRRGGBB (client coordinates unless `whole`), or -1.
long PixelAt(HWND window, int x, int y, bool whole = false);
// Saves the window (frame included) as a 24-bit BMP file.
bool SaveWindowBitmap(HWND window, const std::wstring& path);
// The folder results go to (VELLOC_STANDIN_OUT), with a trailing backslash; empty without one.
std::wstring ResultsFolder();

}  // namespace velloc::test::standin
