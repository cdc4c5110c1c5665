// Services the Windows runtime needs before their Win32 implementations arrive: each is the
// least that lets start-up run to its web view runtime check, with plain Win32 calls. The
// system, dialogs, module file, password form and installer give way to the platform's own
// (src/platform/win32), the loader and the web view factory to the WebView2 backend.
#pragma once

#include <windows.h>

// windows.h renames these to their W functions; here they are the interfaces' own names, as the
// core sees them, and the system's functions are called by their W names.
#undef SetEnvironmentVariable
#undef DeleteFile

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/ModuleFile.h"
#include "platform/PasswordForm.h"
#include "platform/RuntimeInstaller.h"
#include "platform/Styles.h"
#include "platform/System.h"
#include "platform/WebViewLoader.h"
#include "platform/win32/Win32BrowserFormView.h"

namespace velloc::runtime::win32 {

class TInterimSystem final : public platform::ISystem {
 public:
  std::string ExecutablePath() const override;
  std::vector<std::string> Arguments() const override;
  std::string LocalAppDataDirPath() const override;
  char PathSeparator() const override { return '\\'; }
  bool FileExists(const std::string& path) const override;
  bool ForceDirectories(const std::string& path) override;
  bool CreateNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes) override;
  void SetEnvironmentVariable(const std::string& name, const std::string& value) override;
  void RemoveEnvironmentVariable(const std::string& name) override;
  platform::TInstanceLockResult CreateInstanceLock(const std::string& name) override;
  bool StartProcess(const std::string& executable,
                    const std::vector<std::string>& arguments) override;
  std::string TempDir() const override;
  std::string UserDocumentsDir() const override;
  std::string UserDesktopDir() const override;
  std::string RoamingAppDataDir() const override;
  char DecimalSeparator() const override;
};

// Message boxes; their buttons keep the system's captions.
class TInterimDialogs final : public platform::IDialogs {
 public:
  int MessageDlg(const std::string& message, platform::TMsgDlgType kind,
                 const std::vector<platform::TMsgDlgBtn>& buttons,
                 const std::vector<std::string>& captions, const std::string& title) override;
  void ShowMessage(const std::string& title, const std::string& message, bool error) override;
};

class TInterimModuleFile final : public platform::IModuleFile {
 public:
  std::optional<std::vector<std::uint8_t>> Read(const std::string& path,
                                                std::size_t maxSize) const override;
  bool Replace(const std::string& path, std::span<const std::uint8_t> bytes) override;
};

// Refuses: start-up reaches the password gate only once a web view runtime is found.
class TInterimPasswordForm final : public platform::IPasswordFormView {
 public:
  int ShowModal(const std::string& caption, platform::IPasswordFormEvents& events) override;
  void SetModalResult(int) override {}
};

class TInterimInstaller final : public platform::IRuntimeInstaller {
 public:
  void ShowBusyForm(const platform::TInstallerFormStyle&) override {}
  int RunElevatedAndWait(const std::string& path, const std::string& params) override;
  bool DeleteDirectory(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
};

// No web view runtime: start-up reports it with its localized message.
class TNoWebViewLoader final : public platform::IWebViewLoader {
 public:
  bool CheckEdgeIsInstalled(const std::string&) override { return false; }
  void StartWebView2(const std::string&) override {}
  bool Initialized() const override { return false; }
  bool InitializationError() const override { return true; }
  std::string ErrorMessage() const override { return "The WebView2 runtime is not available."; }
};

class TNoWebViewFactory final : public platform::win32::IWin32WebViewFactory {
 public:
  std::unique_ptr<platform::IWebView> CreateWebView(HWND, platform::IWebViewEvents&) override {
    return nullptr;
  }
  void FitWebView(platform::IWebView&, const RECT&) override {}
};

// The native look for every style name.
class TNativeStyleEngine final : public platform::IStyleEngine {
 public:
  bool LoadStyle(const platform::TStyleDefinition&) override { return true; }
  void ActivateStyle(const platform::TStyleDefinition*) override {}
  void ExcludeMenusFromStyling() override {}
};

// The generic report of an error that start-up did not expect.
void ShowApplicationError(const std::string& message);

}  // namespace velloc::runtime::win32
