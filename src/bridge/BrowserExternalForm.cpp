#include "bridge/BrowserExternalForm.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "bridge/BrowserExternalModule.h"
#include "bridge/PathRule.h"
#include "core/Crt.h"
#include "package/AppIcon.h"
#include "platform/WebView.h"

namespace velloc::bridge {
namespace {

namespace fs = std::filesystem;

// The content of a regular file, or nothing when there is none at the path.
std::optional<std::vector<std::uint8_t>> ReadImageFile(const std::string& utf8) {
  const fs::path path = crt::Utf8Path(utf8);
  std::error_code error;
  if (utf8.empty() || !fs::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) return std::nullopt;
  if (size > kMaxMenuImageBytes) throw menus::EMenuError("the image " + utf8 + " is too large");
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size));
  data.resize(static_cast<std::size_t>(in.gcount()));
  return data;
}

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

TBrowserExternalForm::TBrowserExternalForm(TBrowserExternalModule& module) : FModule(module) {}

TBrowserExternalForm::~TBrowserExternalForm() {
  // The tray icon goes with the form; no click may reach it afterwards.
  SetPlatform({});
}

void TBrowserExternalForm::SetPlatform(const TMenuPlatform& platform) {
  if (FPlatform.MainMenu) FPlatform.MainMenu->SetOnItemClick(nullptr);
  if (FPlatform.TrayIcon) {
    FPlatform.TrayIcon->Hide();
    FPlatform.TrayIcon->SetOnItemClick(nullptr);
    FPlatform.TrayIcon->SetOnIconClick(nullptr);
  }
  FPlatform = platform;
  if (FPlatform.MainMenu)
    FPlatform.MainMenu->SetOnItemClick([this](std::int32_t id) { MainMenuItemClick(id); });
  if (FPlatform.TrayIcon) {
    FPlatform.TrayIcon->SetOnItemClick([this](std::int32_t id) { TrayMenuItemClick(id); });
    FPlatform.TrayIcon->SetOnIconClick([this] { TrayIconClick(); });
  }
}

void TBrowserExternalForm::RefreshMainMenu() {
  if (FPlatform.MainMenu) FPlatform.MainMenu->SetEntries(FMainMenu.Entries());
}

void TBrowserExternalForm::RefreshTrayMenu() {
  if (FPlatform.TrayIcon) FPlatform.TrayIcon->SetMenuEntries(FTrayMenu.Entries());
}

void TBrowserExternalForm::AttachMainMenu() {
  if (FPlatform.MainMenu) FPlatform.MainMenu->Attach();
}

platform::TMenuImagePtr TBrowserExternalForm::LoadImage(const std::string& image) const {
  std::optional<std::vector<std::uint8_t>> data;
  // A packaged image is named by its full entry name, not below the application's folder.
  if (archive::TZipArchive* zip = FModule.ExeZip(); zip && zip->IsOpen()) {
    if (const int index = zip->FindFile(image); index >= 0) {
      if (zip->Entry(index).UncompressedSize > kMaxMenuImageBytes)
        throw menus::EMenuError("the image " + image + " is too large");
      data.emplace();
      zip->ExtractToStream(image, *data);
    }
  }
  if (!data && FModule.BrowserForm()) data = ReadImageFile(ResolvePath(FModule, image));
  if (!data) data = ReadImageFile(image);
  if (!data || data->empty()) return nullptr;
  if (!FPlatform.ImageDecoder) throw menus::EMenuError("menu images are not supported");
  platform::TMenuImagePtr decoded = FPlatform.ImageDecoder->DecodeMenuImage(*data);
  if (!decoded) throw menus::EMenuError("the image " + image + " cannot be decoded");
  return decoded;
}

void TBrowserExternalForm::ShowTrayIcon() {
  if (!FPlatform.TrayIcon || FPlatform.TrayIcon->Visible()) return;
  // The application's icon travels in the package.
  if (archive::TZipArchive* zip = FModule.ExeZip(); FAppIcon.empty() && zip && zip->IsOpen()) {
    const int index = zip->FindFile(package::kAppIconEntry);
    if (index >= 0 && zip->Entry(index).UncompressedSize <= package::kMaxAppIconBytes)
      zip->ExtractToStream(package::kAppIconEntry, FAppIcon);
  }
  const platform::ISystem* system = FModule.System();
  FPlatform.TrayIcon->SetIcon(FAppIcon, TrayTooltip(system ? system->ExecutablePath() : ""));
  FPlatform.TrayIcon->Show();
}

void TBrowserExternalForm::HideTrayIcon() {
  if (FPlatform.TrayIcon) FPlatform.TrayIcon->Hide();
}

bool TBrowserExternalForm::TrayIconVisible() const {
  return FPlatform.TrayIcon && FPlatform.TrayIcon->Visible();
}

void TBrowserExternalForm::MainMenuItemClick(std::int32_t id) {
  RunScript("vlx.events.onMainMenuItemClick(\"" + std::to_string(id) + "\");");
}

void TBrowserExternalForm::TrayMenuItemClick(std::int32_t id) {
  RunScript("vlx.events.onTrayMenuItemClick(\"" + std::to_string(id) + "\");");
}

void TBrowserExternalForm::TrayIconClick() {
  RunScript("vlx.events.onTrayIconClick();");
}

void TBrowserExternalForm::RunScript(const std::string& script) {
  IBridgeBrowserForm* browserForm = FModule.BrowserForm();
  if (platform::IWebView* browser = browserForm ? browserForm->Browser() : nullptr)
    browser->ExecuteScript(script);
}

std::string TrayTooltip(std::string_view executablePath) {
  std::string_view name = executablePath;
  if (const std::size_t slash = name.find_last_of(kPathSeparator); slash != std::string_view::npos)
    name.remove_prefix(slash + 1);
  name = name.substr(0, name.find('.'));
  std::string tooltip;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (!IsContinuationByte(name[i]) && ++characters > 127) break;
    char c = name[i];
    if (i > 0 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    tooltip += c;
  }
  return tooltip;
}

}  // namespace velloc::bridge
