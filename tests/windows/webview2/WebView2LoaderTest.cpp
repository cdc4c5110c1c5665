// Our WebView2LoaderWin64.dll under Wine, against a fake EmbeddedBrowserWebView.dll in a runtime
// folder that the updater's registry key (in the test's own Wine prefix) points at.
#include <atomic>
#include <optional>
#include <string>
#include <windows.h>

#include <gtest/gtest.h>

#include "WebView2.h"
#include "platform/webview2/WebView2Arguments.h"
#include "platform/webview2/WebView2Loader.h"
#include "platform/webview2/loader/WebView2RuntimeLocator.h"

namespace {

constexpr const wchar_t* StableKey =
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr const wchar_t* CanaryKey =
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{65C35B14-6C1D-4122-AC46-7148CC9D6497}";
const HRESULT NotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// The same layout as the fake library's record.
struct TFakeCall {
  int Calls;
  bool FirstArgument;
  int RuntimeKind;
  bool HasUserDataFolder;
  wchar_t UserDataFolder[512];
  wchar_t AdditionalArguments[1024];
  wchar_t TargetVersion[64];
};

using TCreate =
    HRESULT(STDAPICALLTYPE*)(PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
                             ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*);
using TVersion = HRESULT(STDAPICALLTYPE*)(PCWSTR, LPWSTR*);

std::wstring ExeFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

template <typename T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class TCompletedHandler final : public ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) ||
        IsEqualIID(riid, IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
  ULONG STDMETHODCALLTYPE Release() override { return --References; }
  HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Environment*) override {
    ++Calls;
    Result = errorCode;
    return S_OK;
  }
  std::atomic<ULONG> References{1};
  int Calls = 0;
  HRESULT Result = E_FAIL;
};

// The caller's options: only the additional arguments matter here.
class TCallerOptions final : public ICoreWebView2EnvironmentOptions {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ICoreWebView2EnvironmentOptions)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
  ULONG STDMETHODCALLTYPE Release() override { return --References; }
  HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) override {
    *value = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(L"--from-options")));
    std::wmemcpy(*value, L"--from-options", 15);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Language(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL) override {
    return E_NOTIMPL;
  }
  std::atomic<ULONG> References{1};
};

class WebView2Loader : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    Root = std::wstring(temp) + L"velloc-webview2-loader-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(Root.c_str(), nullptr);
    CreateDirectoryW((Root + L"\\empty").c_str(), nullptr);
    // Runtime folders are named after their version, as the updater names them.
    RuntimeFolder = Root + L"\\120.0.1.2";
    NewerFolder = Root + L"\\121.0.0.9";
    TooOldFolder = Root + L"\\86.0.615.99";
    for (const auto& folder : {RuntimeFolder, NewerFolder, TooOldFolder})
      MakeRuntime(folder);
    // A runtime beside the test's executable, for a relative browser folder.
    CreateDirectoryW((ExeFolder() + L"beside").c_str(), nullptr);
    MakeRuntime(ExeFolder() + L"beside\\130.0.0.1");
    Loader = LoadLibraryW((ExeFolder() + L"WebView2LoaderWin64.dll").c_str());
    ASSERT_NE(Loader, nullptr);
  }

  // A folder with the fake runtime library where a runtime keeps its own.
  static void MakeRuntime(const std::wstring& folder) {
    for (const auto& part : {folder, folder + L"\\EBWebView", folder + L"\\EBWebView\\x64"})
      CreateDirectoryW(part.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((ExeFolder() + L"FakeEmbeddedBrowserWebView.dll").c_str(),
                          (folder + L"\\EBWebView\\x64\\EmbeddedBrowserWebView.dll").c_str(),
                          FALSE));
  }

  void SetUp() override {
    for (const wchar_t* name :
         {L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", L"WEBVIEW2_USER_DATA_FOLDER",
          L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS", L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE"})
      SetEnvironmentVariableW(name, nullptr);
    RemoveKeys();
    if (HMODULE fake = GetModuleHandleW(L"EmbeddedBrowserWebView.dll"))
      Export<void (*)()>(fake, "FakeReset")();
  }

  void TearDown() override { RemoveKeys(); }

  static void RemoveKeys() {
    for (const wchar_t* key : {StableKey, CanaryKey})
      RegDeleteKeyExW(HKEY_CURRENT_USER, key, KEY_WOW64_32KEY, 0);
  }

  static void Register(const wchar_t* keyPath, const std::wstring& folder,
                       std::optional<std::wstring> version) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    auto set = [&](const wchar_t* name, const std::wstring& value) {
      RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    };
    set(L"EBWebView", folder);
    if (version) set(L"pv", *version);
    RegCloseKey(key);
  }

  static std::optional<std::wstring> Version(PCWSTR browserFolder, HRESULT* result = nullptr) {
    LPWSTR version = nullptr;
    const HRESULT hr = Export<TVersion>(Loader, "GetAvailableCoreWebView2BrowserVersionString")(
        browserFolder, &version);
    if (result) *result = hr;
    if (version == nullptr) return std::nullopt;
    std::wstring text(version);
    CoTaskMemFree(version);
    return text;
  }

  static HRESULT Create(PCWSTR browserFolder, PCWSTR userDataFolder,
                        ICoreWebView2EnvironmentOptions* options, TCompletedHandler& handler) {
    return Export<TCreate>(Loader, "CreateCoreWebView2EnvironmentWithOptions")(
        browserFolder, userDataFolder, options, &handler);
  }

  static const TFakeCall& LastCall() {
    HMODULE fake = GetModuleHandleW(L"EmbeddedBrowserWebView.dll");
    EXPECT_NE(fake, nullptr);
    return *Export<const TFakeCall* (*)()>(fake, "FakeLastCall")();
  }

  static inline HMODULE Loader = nullptr;
  static inline std::wstring Root;
  static inline std::wstring RuntimeFolder;
  static inline std::wstring NewerFolder;
  static inline std::wstring TooOldFolder;
};

TEST_F(WebView2Loader, WithoutARuntimeAnswersFileNotFoundAndNeverCallsBack) {
  HRESULT result = S_OK;
  EXPECT_EQ(Version(nullptr, &result), std::nullopt);
  EXPECT_EQ(result, NotFound);

  TCompletedHandler handler;
  EXPECT_EQ(Create(nullptr, nullptr, nullptr, handler), NotFound);
  EXPECT_EQ(handler.Calls, 0);
  EXPECT_EQ(handler.References, 1u);
}

TEST_F(WebView2Loader, ARegisteredFolderWithoutTheLibraryIsNoRuntime) {
  Register(StableKey, Root + L"\\empty", L"131.0.2903.146");
  EXPECT_EQ(Version(nullptr), std::nullopt);
}

TEST_F(WebView2Loader, TheRuntimesFolderNamesItsVersion) {
  // "pv" can be a leftover of an uninstalled version: the folder counts.
  Register(StableKey, RuntimeFolder, L"131.0.2903.146");
  EXPECT_EQ(Version(nullptr), L"120.0.1.2");
  Register(StableKey, RuntimeFolder, std::nullopt);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, StableKey, L"pv");
  EXPECT_EQ(Version(nullptr), L"120.0.1.2");
}

TEST_F(WebView2Loader, RuntimesBefore86_0_616AreRefused) {
  // An old stable runtime is none: the next channel's counts.
  Register(StableKey, TooOldFolder, L"131.0.2903.146");
  EXPECT_EQ(Version(nullptr), std::nullopt);
  TCompletedHandler handler;
  EXPECT_EQ(Create(nullptr, nullptr, nullptr, handler), NotFound);
  Register(CanaryKey, NewerFolder, std::nullopt);
  EXPECT_EQ(Version(nullptr), L"121.0.0.9");

  struct TCase {
    const wchar_t* Version;
    bool Supported;
  };
  for (const TCase& c :
       {TCase{L"86.0.616.0", true}, TCase{L"86.0.616", true}, TCase{L"86.0.615.99", false},
        TCase{L"85.9.999.0", false}, TCase{L"131.0.2903.146", true}, TCase{L"1000.0.0.0", true},
        TCase{L"86.0", false}, TCase{L"86.0.616.0.1", false}, TCase{L"EBWebView", false},
        TCase{L"", false}, TCase{L"120.0.x.1", false}}) {
    EXPECT_EQ(velloc::platform::webview2::IsSupportedVersion(c.Version), c.Supported)
        << std::wstring(c.Version).size();
  }
}

TEST_F(WebView2Loader, ARelativeBrowserFolderIsBesideTheExecutable) {
  // Not the current folder's.
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(Root.c_str());
  EXPECT_EQ(Version(L"beside\\130.0.0.1"), L"130.0.0.1");
  EXPECT_EQ(Version(L"120.0.1.2"), std::nullopt);
  SetEnvironmentVariableW(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", L".\\beside\\130.0.0.1");
  TCompletedHandler handler;
  EXPECT_EQ(Create(nullptr, nullptr, nullptr, handler), S_OK);
  EXPECT_EQ(LastCall().RuntimeKind, 1);
  SetCurrentDirectoryW(previous);
}

TEST_F(WebView2Loader, CreatesTheEnvironmentThroughTheRuntimeLibrary) {
  Register(StableKey, RuntimeFolder, L"131.0.2903.146");
  TCompletedHandler handler;
  TCallerOptions options;
  ASSERT_EQ(Create(nullptr, L"C:\\data", &options, handler), S_OK);
  EXPECT_EQ(handler.Calls, 1);
  EXPECT_EQ(handler.Result, S_OK);
  const TFakeCall& call = LastCall();
  EXPECT_EQ(call.Calls, 1);
  EXPECT_TRUE(call.FirstArgument);
  EXPECT_EQ(call.RuntimeKind, 0);
  EXPECT_STREQ(call.UserDataFolder, L"C:\\data");
  EXPECT_STREQ(call.AdditionalArguments, L"--from-options");
  // The loader's wrapper released the caller's options and holds no handler reference.
  EXPECT_EQ(options.References, 1u);
  EXPECT_EQ(handler.References, 1u);
}

TEST_F(WebView2Loader, TheEnvironmentVariablesWinOverTheCall) {
  Register(StableKey, Root + L"\\empty", L"1.0.0.0");
  SetEnvironmentVariableW(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", RuntimeFolder.c_str());
  SetEnvironmentVariableW(L"WEBVIEW2_USER_DATA_FOLDER", L"C:\\from-environment");
  SetEnvironmentVariableW(L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS", L"--disable-logging");
  EXPECT_EQ(Version(nullptr), L"120.0.1.2");

  TCompletedHandler handler;
  TCallerOptions options;
  ASSERT_EQ(Create(nullptr, L"C:\\data", &options, handler), S_OK);
  const TFakeCall& call = LastCall();
  EXPECT_EQ(call.RuntimeKind, 1);
  EXPECT_STREQ(call.UserDataFolder, L"C:\\from-environment");
  // The variable's arguments come after the caller's, which stay.
  EXPECT_STREQ(call.AdditionalArguments, L"--from-options --disable-logging");

  // An explicit folder without the library is an error, not a reason to look elsewhere.
  const std::wstring empty = Root + L"\\empty";
  SetEnvironmentVariableW(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", nullptr);
  Register(StableKey, RuntimeFolder, L"131.0.2903.146");
  EXPECT_EQ(Version(empty.c_str()), std::nullopt);
  EXPECT_EQ(Version(RuntimeFolder.c_str()), L"120.0.1.2");

  // Without options the variable's arguments are all there is.
  SetEnvironmentVariableW(L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS", L"--disable-logging");
  TCompletedHandler bare;
  ASSERT_EQ(Create(nullptr, nullptr, nullptr, bare), S_OK);
  EXPECT_STREQ(LastCall().AdditionalArguments, L"--disable-logging");
}

TEST_F(WebView2Loader, NoUserDataFolderAndNoOptionsPassNothingOn) {
  Register(StableKey, RuntimeFolder, L"131.0.2903.146");
  TCompletedHandler handler;
  ASSERT_EQ(Create(nullptr, nullptr, nullptr, handler), S_OK);
  EXPECT_FALSE(LastCall().HasUserDataFolder);
  EXPECT_STREQ(LastCall().AdditionalArguments, L"");
}

TEST_F(WebView2Loader, TheReleaseChannelPreferenceOrdersTheChannels) {
  Register(StableKey, RuntimeFolder, std::nullopt);
  Register(CanaryKey, NewerFolder, std::nullopt);
  EXPECT_EQ(Version(nullptr), L"120.0.1.2");
  SetEnvironmentVariableW(L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE", L"1");
  EXPECT_EQ(Version(nullptr), L"121.0.0.9");
}

// The runtime's side of the loader: TWebView2Loader through our loader library.
TEST_F(WebView2Loader, TheRuntimeLoaderChecksAndStartsTheEnvironment) {
  char utf8[MAX_PATH * 3] = {};
  WideCharToMultiByte(CP_UTF8, 0, (ExeFolder() + L"WebView2LoaderWin64.dll").c_str(), -1, utf8,
                      sizeof utf8, nullptr, nullptr);
  const std::string library = utf8;
  {
    velloc::platform::webview2::TWebView2Loader loader;
    EXPECT_FALSE(loader.CheckEdgeIsInstalled(library));
    EXPECT_FALSE(loader.CheckEdgeIsInstalled(library + ".missing"));
    loader.StartWebView2(library);
    EXPECT_FALSE(loader.Initialized());
    EXPECT_TRUE(loader.InitializationError());
    EXPECT_NE(loader.ErrorMessage().find("0x80070002"), std::string::npos) << loader.ErrorMessage();
  }
  Register(StableKey, RuntimeFolder, L"131.0.2903.146");
  velloc::platform::webview2::TWebView2Loader loader;
  EXPECT_TRUE(loader.CheckEdgeIsInstalled(library));
  loader.StartWebView2(library);
  EXPECT_TRUE(loader.Initialized());
  EXPECT_FALSE(loader.InitializationError());
  EXPECT_NE(loader.Environment(), nullptr);
  EXPECT_STREQ(LastCall().TargetVersion, L"146.0.3856.49");
  EXPECT_STREQ(LastCall().AdditionalArguments, L"--disable-features=msEdgeRose");
  EXPECT_FALSE(LastCall().HasUserDataFolder);
  EXPECT_FALSE(loader.CrossOriginReads());

  // The application's arguments (start-up's variable) reach the browser after the runtime's own,
  // without the switch that turns web security off.
  SetEnvironmentVariableW(L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS",
                          L"--disable-logging --disable-web-security "
                          L"--disable-features=RendererCodeIntegrity");
  velloc::platform::webview2::TWebView2Loader withSwitch;
  withSwitch.StartWebView2(library);
  EXPECT_TRUE(withSwitch.Initialized());
  EXPECT_TRUE(withSwitch.CrossOriginReads());
  EXPECT_STREQ(LastCall().AdditionalArguments,
               L"--disable-features=msEdgeRose --disable-logging "
               L"--disable-features=RendererCodeIntegrity");
}

// The browser reads the line with CommandLineToArgvW and accepts "--", "-" and "/" switches in
// any letter case: every such form of the switch goes, and nothing else.
TEST(WebView2BrowserArguments, WebSecurityIsNeverSwitchedOff) {
  struct TCase {
    const wchar_t* Line;
    const wchar_t* Expected;
    bool CrossOriginReads;
  };
  const TCase cases[] = {
      {L"", L"", false},
      {L"--disable-logging --autoplay-policy=no-user-gesture-required",
       L"--disable-logging --autoplay-policy=no-user-gesture-required", false},
      {L"--disable-logging --disable-web-security --disable-features=X",
       L"--disable-logging --disable-features=X", true},
      {L"--DISABLE-WEB-SECURITY", L"", true},
      {L"-disable-web-security /disable-web-security --disable-web-security=1 --a", L"--a", true},
      {L"\"--disable-web-security\" --b", L"--b", true},
      {L"--disable-web-security-not --disable-web-securityx",
       L"--disable-web-security-not --disable-web-securityx", false},
      // A value with a blank is quoted again, and what follows a bare "--" is no switch.
      {L"--disable-web-security --lang=\"de DE\" -- --disable-web-security",
       L"\"--lang=de DE\" -- --disable-web-security", true},
      {L"  --user-agent=\"a \\\"b\\\"\"  --disable-web-security", L"\"--user-agent=a \\\"b\\\"\"",
       true},
  };
  for (const TCase& c : cases) {
    const auto result = velloc::platform::webview2::SanitizedBrowserArguments(c.Line);
    EXPECT_EQ(result.Line, c.Expected) << std::wstring(c.Line).size();
    EXPECT_EQ(result.CrossOriginReads, c.CrossOriginReads) << std::wstring(c.Line).size();
  }
}

}  // namespace
