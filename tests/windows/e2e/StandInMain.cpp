// velloc-standin.exe: the runtime's own entry code with the stand-in web view, for the
// whole-program test. It also types into the password form when the script says so, through
// the Win32 messages a keyboard produces, and ends itself when a script hangs.
#include <thread>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32PasswordForm.h"
#include "tests/windows/e2e/StandIn.h"
#include "tests/windows/e2e/StandInProbes.h"

// After windows.h, which the headers above bring.
#include <shellapi.h>

namespace {

using namespace velloc;
using test::standin::TRecord;

std::wstring Environment(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

// Waits for the password form, records what it shows, and types `text` into its edit box: for
// each character the character message and the release of its key. "\b" is Backspace.
void TypePassword(const rapidjson::Value& password) {
  TRecord& record = TRecord::Get();
  const std::wstring text = password.HasMember("type") && password["type"].IsString()
                                ? platform::win32::Widen(password["type"].GetString())
                                : std::wstring();
  const bool close = password.HasMember("close") && password["close"].IsTrue();
  HWND form = nullptr;
  for (int i = 0; i < 300 && !form; ++i) {
    form = FindWindowW(platform::win32::kPasswordFormClass, nullptr);
    if (!form || !IsWindowVisible(form)) {
      form = nullptr;
      Sleep(50);
    }
  }
  rapidjson::Value seen(rapidjson::kObjectType);
  wchar_t caption[256] = {};
  if (form) GetWindowTextW(form, caption, 256);
  rapidjson::Value captionText = record.Text(platform::win32::Narrow(caption));
  record.Edit([&](auto&, auto& alloc) {
    seen.AddMember("shown", form != nullptr, alloc);
    seen.AddMember("caption", captionText, alloc);
  });
  HWND edit = form ? FindWindowExW(form, nullptr, L"Edit", nullptr) : nullptr;
  if (edit) {
    // Its colours once it has painted, and a picture when the script asks for one.
    Sleep(300);
    RECT box{};
    GetClientRect(edit, &box);
    const long ground = test::standin::PixelAt(form, 4, 4);
    const long field = test::standin::PixelAt(edit, box.right - 4, box.bottom / 2);
    record.Edit([&](auto&, auto& alloc) {
      seen.AddMember("ground", static_cast<int64_t>(ground), alloc);
      seen.AddMember("field", static_cast<int64_t>(field), alloc);
    });
    if (password.HasMember("screenshot") && password["screenshot"].IsString()) {
      test::standin::SaveWindowBitmap(
          form, test::standin::ResultsFolder() + L"shot-" +
                    platform::win32::Widen(password["screenshot"].GetString()) + L".bmp");
    }
  }
  record.Set("passwordForm", std::move(seen));
  record.Save();
  if (!form) return;
  for (const wchar_t c : text) {
    const SHORT scan = VkKeyScanW(c);
    const UINT key = c == L'\b' ? VK_BACK : scan == -1 ? 'A' : static_cast<UINT>(scan & 0xFF);
    PostMessageW(edit, WM_CHAR, c, 1);
    PostMessageW(edit, WM_KEYUP, key, 0xC0000001);
    Sleep(20);
  }
  if (close) PostMessageW(form, WM_CLOSE, 0, 0);
}

// Waits for each start-up dialog in turn, records its title and ground colour (and a picture
// when asked), and closes it with its close box.
void AnswerStartupDialogs(const rapidjson::Value& dialogs) {
  TRecord& record = TRecord::Get();
  for (const auto& dialog : dialogs.GetArray()) {
    HWND found = nullptr;
    for (int i = 0; i < 300 && !found; ++i) {
      HWND candidate = nullptr;
      while ((candidate = FindWindowExW(nullptr, candidate, L"#32770", nullptr)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(candidate, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(candidate)) found = candidate;
      }
      if (!found) Sleep(50);
    }
    rapidjson::Value seen(rapidjson::kObjectType);
    if (found) {
      Sleep(300);
      wchar_t title[256] = {};
      GetWindowTextW(found, title, 256);
      rapidjson::Value titleText = record.Text(platform::win32::Narrow(title));
      const long ground = test::standin::PixelAt(found, 4, 4);
      record.Edit([&](auto&, auto& alloc) {
        seen.AddMember("title", titleText, alloc);
        seen.AddMember("ground", static_cast<int64_t>(ground), alloc);
      });
      if (dialog.IsObject() && dialog.HasMember("screenshot") && dialog["screenshot"].IsString()) {
        test::standin::SaveWindowBitmap(
            found, test::standin::ResultsFolder() + L"shot-" +
                       platform::win32::Widen(dialog["screenshot"].GetString()) + L".bmp");
      }
    }
    // Recorded before it closes: closing the last one may end the process at once.
    record.Append("startupDialogs", std::move(seen));
    record.Save();
    if (!found) continue;
    PostMessageW(found, WM_CLOSE, 0, 0);
    // Gone before the next one is looked for.
    for (int i = 0; i < 100 && IsWindow(found); ++i)
      Sleep(50);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  TRecord& record = TRecord::Get();
  const std::wstring out = Environment(L"VELLOC_STANDIN_OUT");
  if (!out.empty()) record.Open(out);
  const std::wstring script = Environment(L"VELLOC_STANDIN_SCRIPT");
  if (!script.empty()) test::standin::LoadScript(script);

  rapidjson::Value args(rapidjson::kArrayType);
  int count = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) {
      rapidjson::Value argument = record.Text(platform::win32::Narrow(argv[i]));
      record.Edit([&](auto&, auto& alloc) { args.PushBack(argument, alloc); });
    }
    LocalFree(argv);
  }
  record.Set("args", std::move(args));
  record.Set("pid", rapidjson::Value(static_cast<std::uint64_t>(GetCurrentProcessId())));
  record.Save();

  const test::standin::TScript& steps = test::standin::Script();
  if (const rapidjson::Value* password = steps.Member("password"); password && password->IsObject())
    std::thread(TypePassword, std::cref(*password)).detach();
  if (const rapidjson::Value* dialogs = steps.Member("startupDialogs");
      dialogs && dialogs->IsArray())
    std::thread(AnswerStartupDialogs, std::cref(*dialogs)).detach();
  const rapidjson::Value* timeout = steps.Member("timeoutMs");
  const DWORD timeoutMs = timeout && timeout->IsUint() ? timeout->GetUint() : 60000;
  std::thread([timeoutMs] {
    Sleep(timeoutMs);
    TRecord::Get().Set("watchdog", rapidjson::Value(true));
    TRecord::Get().Save();
    TerminateProcess(GetCurrentProcess(), 99);
  }).detach();

  const int exitCode = runtime::win32::RunVellocRuntime(
      instance, [] { return std::make_unique<test::standin::TStandInWebViews>(); });
  record.Set("exitCode", rapidjson::Value(exitCode));
  record.Save();
  return exitCode;
}
