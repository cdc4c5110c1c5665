// The Windows runtime from the outside: packed executables are started as a user would start
// them, and the dialogs they show are read and answered through Win32 calls. Without a web view
// runtime every start ends at the runtime check, in the user's language.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/PackagePassword.h"
#include "archive/ZipWriter.h"
#include "package/PeIcon.h"
#include "startup/LocalizedMessages.h"

// After the project's headers: windows.h's macros would rename their functions.
#include <windows.h>

namespace velloc::startup {

// The start-up texts' language, found as the runtime finds it.
std::string GetUserLanguageCode() {
  wchar_t name[9] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, name, 9) <= 0) return {};
  std::string code;
  for (const wchar_t* c = name; *c; ++c)
    code += static_cast<char>(*c | 0x20);
  return code;
}

}  // namespace velloc::startup

namespace {

using namespace velloc;

std::string ToUtf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                      nullptr, nullptr);
  return text;
}

// The build names the runtime by its path on the build machine; Wine shows that as drive Z:.
std::filesystem::path RuntimePath() {
  std::string path = VELLOC_RUNTIME_EXE;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  return std::filesystem::path(path).make_preferred();
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The runtime with a package behind it, as the packer makes it; no package for an empty ini.
std::filesystem::path PackedRuntime(const std::string& name, const std::string& ini) {
  std::vector<std::uint8_t> bytes = ReadAll(RuntimePath());
  if (!ini.empty()) {
    archive::TZipWriter writer;
    writer.Password(archive::PackagePassword());
    writer.AddFile("vlx.ini", Bytes(ini), archive::ZipMethod::Deflate);
    writer.AddFile("app/index.html", Bytes("<html><body>Hello</body></html>"),
                   archive::ZipMethod::Deflate);
    writer.Finish();
    const std::vector<std::uint8_t> package = writer.TakeBytes();
    bytes.insert(bytes.end(), package.begin(), package.end());
  }
  const std::filesystem::path path = std::filesystem::temp_directory_path() / (name + ".exe");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

struct TDialog {
  HWND Window = nullptr;
  std::string Title;
  std::string Text;
};

// The first message box of the process, or none once it has ended or after 30 seconds.
TDialog WaitForDialog(HANDLE process, DWORD processId) {
  struct TSearch {
    DWORD ProcessId;
    HWND Found;
  } search{processId, nullptr};
  for (int i = 0; i < 600 && !search.Found; ++i) {
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          auto* s = reinterpret_cast<TSearch*>(data);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          wchar_t className[16] = {};
          GetClassNameW(window, className, 16);
          if (owner == s->ProcessId && IsWindowVisible(window) &&
              std::wstring(className) == L"#32770") {
            s->Found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.Found && WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
  }
  TDialog dialog{search.Found, {}, {}};
  if (!dialog.Window) return dialog;
  wchar_t text[1024] = {};
  GetWindowTextW(dialog.Window, text, 1024);
  dialog.Title = ToUtf8(text);
  // The message is the one static control with text (the icon is a static control too).
  for (HWND child = GetWindow(dialog.Window, GW_CHILD); child && dialog.Text.empty();
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (_wcsicmp(className, L"Static") != 0) continue;
    text[0] = L'\0';
    GetWindowTextW(child, text, 1024);
    dialog.Text = ToUtf8(text);
  }
  return dialog;
}

// How the user answers a dialog: its default button, or its close box.
enum class TAnswer { Accept, Close };

void Answer(const TDialog& dialog, TAnswer answer) {
  if (answer == TAnswer::Accept) {
    const LRESULT defaultId = SendMessageW(dialog.Window, DM_GETDEFID, 0, 0);
    ASSERT_EQ(HIWORD(defaultId), DC_HASDEFID);
    const int id = LOWORD(defaultId);
    PostMessageW(dialog.Window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog.Window, id)));
  } else {
    PostMessageW(dialog.Window, WM_CLOSE, 0, 0);
  }
  for (int i = 0; i < 200 && IsWindow(dialog.Window); ++i)
    Sleep(25);
}

struct TExpectedDialog {
  int Title;  // localized text index
  int Text;   // localized text index
  TAnswer Answer;
};

struct TStartCase {
  const char* Name;
  const char* Ini;  // empty: the bare runtime, no package
  std::vector<TExpectedDialog> Dialogs;
  const char* RemovedDataFolder = nullptr;  // the application's data folder is gone at the end
};

void PrintTo(const TStartCase& c, std::ostream* out) {
  *out << c.Name;
}

std::filesystem::path LocalAppData() {
  wchar_t path[MAX_PATH] = {};
  GetEnvironmentVariableW(L"LOCALAPPDATA", path, MAX_PATH);
  return path;
}

class Win32RuntimeEntryTest : public ::testing::TestWithParam<TStartCase> {};

TEST_P(Win32RuntimeEntryTest, StartEndsInOrderWithTheLocalizedDialogs) {
  const TStartCase& c = GetParam();
  const std::filesystem::path exe = PackedRuntime(std::string("velloc-entry-") + c.Name, c.Ini);
  std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &process));
  const std::string language = startup::GetUserLanguageCode();
  for (const TExpectedDialog& expected : c.Dialogs) {
    const TDialog dialog = WaitForDialog(process.hProcess, process.dwProcessId);
    ASSERT_NE(dialog.Window, nullptr)
        << "no dialog: " << startup::GetLocalizedMessage(expected.Text, language);
    EXPECT_EQ(dialog.Title, startup::GetLocalizedMessage(expected.Title, language));
    EXPECT_EQ(dialog.Text, startup::GetLocalizedMessage(expected.Text, language));
    Answer(dialog, expected.Answer);
  }
  const bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.hProcess, 99);
  EXPECT_TRUE(ended);
  DWORD exitCode = 99;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);  // every orderly end
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::filesystem::remove(exe);
  if (c.RemovedDataFolder) {
    ASSERT_FALSE(LocalAppData().empty());
    EXPECT_FALSE(std::filesystem::exists(LocalAppData() / c.RemovedDataFolder));
  }
}

TEST(Win32RuntimeResourcesTest, ManifestAndIconAreInTheExecutable) {
  HMODULE runtime = LoadLibraryExW(RuntimePath().c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(runtime, nullptr);
  HRSRC found = FindResourceW(runtime, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const auto* data = static_cast<const char*>(LockResource(LoadResource(runtime, found)));
  const std::string manifest(data, SizeofResource(runtime, found));
  for (const char* part :
       {"<dpiAwareness "
        "xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2<",
        ">true/pm<", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "level=\"asInvoker\""}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
  EXPECT_NE(FindResourceW(runtime, L"MAINICON", MAKEINTRESOURCEW(14)), nullptr);  // RT_GROUP_ICON
  FreeLibrary(runtime);
}

namespace msg = startup::msg;

INSTANTIATE_TEST_SUITE_P(
    Starts, Win32RuntimeEntryTest,
    ::testing::Values(
        TStartCase{"bare", "", {{msg::ErrorTitle, msg::NotValidApplication, TAnswer::Accept}}},
        TStartCase{"no-installer",
                   "[App]\nID=VellocEntryNoInstaller\nName=Entry\nDirName=app\nEdgeInstaller=0\n",
                   {{msg::ErrorTitle, msg::RuntimeRequired, TAnswer::Accept}}},
        // The user closes the question: the application's folder goes and it ends.
        TStartCase{"declined",
                   "[App]\nID=VellocEntryDeclined\nName=Entry\nDirName=app\n",
                   {{msg::ConfirmTitle, msg::RuntimeInstallQuestion, TAnswer::Close},
                    {msg::ErrorTitle, msg::ApplicationEnds, TAnswer::Accept}},
                   "VellocEntryDeclined"},
        // A package under another password or without an ID ends silently.
        TStartCase{"no-id", "[App]\nName=Entry\nDirName=app\n", {}}),
    [](const ::testing::TestParamInfo<TStartCase>& param) {
      std::string name = param.param.Name;
      for (char& ch : name) {
        if (ch == '-') ch = '_';
      }
      return name;
    });

// `velloc pack --icon` puts the application's PNG into the runtime's own icon resource, in
// place: the system then loads it as the executable's icon, and the rest of the image still runs
// (checked through the resource API on a copy loaded as data).
TEST(Win32RuntimeEntry, PackedIconIsTheExecutablesIcon) {
  static constexpr std::uint8_t kRed16[] = {
      0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
      0x44, 0x52, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x08, 0x06, 0x00, 0x00,
      0x00, 0x1f, 0xf3, 0xff, 0x61, 0x00, 0x00, 0x00, 0x19, 0x49, 0x44, 0x41, 0x54, 0x78,
      0xda, 0x63, 0xf8, 0xcf, 0xc0, 0xf0, 0x9f, 0x12, 0xcc, 0x30, 0x6a, 0xc0, 0xa8, 0x01,
      0xa3, 0x06, 0x0c, 0x17, 0x03, 0x00, 0x30, 0xc4, 0xfe, 0x10, 0x8a, 0xc6, 0x4c, 0xe5,
      0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
  std::vector<std::uint8_t> image = ReadAll(RuntimePath());
  ASSERT_FALSE(image.empty());
  const std::size_t size = image.size();
  package::ReplacePeIcon(image, kRed16);
  EXPECT_EQ(image.size(), size);
  const std::filesystem::path exe =
      std::filesystem::temp_directory_path() / "velloc-entry-icon.exe";
  std::ofstream(exe, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(size));

  HMODULE module = LoadLibraryExW(exe.wstring().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  HICON icon = static_cast<HICON>(LoadImageW(module, L"MAINICON", IMAGE_ICON, 16, 16, 0));
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAPINFO bits{};
  bits.bmiHeader.biSize = sizeof bits.bmiHeader;
  bits.bmiHeader.biWidth = 16;
  bits.bmiHeader.biHeight = 16;
  bits.bmiHeader.biPlanes = 1;
  bits.bmiHeader.biBitCount = 32;
  std::vector<std::uint32_t> pixels(16 * 16);
  HDC dc = GetDC(nullptr);
  EXPECT_EQ(GetDIBits(dc, info.hbmColor, 0, 16, pixels.data(), &bits, DIB_RGB_COLORS), 16);
  ReleaseDC(nullptr, dc);
  EXPECT_EQ(pixels[8 * 16 + 8] & 0x00FFFFFFu, 0x00FF0000u);  // red, as 0x00RRGGBB
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
  FreeLibrary(module);

  // No room and no PNG are refused with the reason.
  std::vector<std::uint8_t> large(kRed16, kRed16 + sizeof kRed16);
  large.resize(1 << 20);
  EXPECT_THROW(package::ReplacePeIcon(image, large), package::PeIconError);
  EXPECT_THROW(package::ReplacePeIcon(image, Bytes("<svg/>")), package::PeIconError);
  std::filesystem::remove(exe);
}

}  // namespace
