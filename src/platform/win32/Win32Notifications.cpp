#include "platform/win32/Win32Notifications.h"

#include <atomic>
#include <cstdio>
#include <deque>
#include <exception>
#include <hstring.h>
#include <inspectable.h>

#include <wrl/client.h>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32TrayIcon.h"
#include "platform/win32/Win32WindowClass.h"

namespace velloc::platform::win32 {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kWindowClass[] = L"VellocNotifications";
constexpr UINT kToastClicked = WM_APP + 50;
// Toasts whose clicks are still reported; older ones are let go (they have long left the screen).
constexpr std::size_t kToastsKept = 64;
constexpr wchar_t kToastGroup[] = L"velloc";

// The Windows Runtime interfaces of toasts, as far as they are used here: their methods in the
// order of the system's metadata, after IInspectable's six.
struct TEventToken {
  std::int64_t Value;
};

struct IXmlDocumentIOAbi : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE LoadXml(HSTRING xml) = 0;
};
struct IToastNotificationAbi : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Content(IInspectable** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ExpirationTime(IInspectable* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ExpirationTime(IInspectable** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_Dismissed(IUnknown* handler, TEventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_Dismissed(TEventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_Activated(IUnknown* handler, TEventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_Activated(TEventToken token) = 0;
};
struct IToastNotification2Abi : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE put_Tag(HSTRING value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Tag(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Group(HSTRING value) = 0;
};
struct IToastNotifierAbi : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE Show(IToastNotificationAbi* notification) = 0;
  virtual HRESULT STDMETHODCALLTYPE Hide(IToastNotificationAbi* notification) = 0;
};
struct IToastNotificationFactoryAbi : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE CreateToastNotification(IInspectable* content,
                                                            IToastNotificationAbi** value) = 0;
};
struct IToastNotificationManagerStaticsAbi : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE CreateToastNotifier(IToastNotifierAbi** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateToastNotifierWithId(HSTRING applicationId,
                                                              IToastNotifierAbi** value) = 0;
};
// TypedEventHandler<ToastNotification, IInspectable>
struct IToastActivatedHandlerAbi : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(IInspectable* sender, IInspectable* args) = 0;
};

constexpr GUID kIidToastNotificationManagerStatics = {
    0x50AC103F, 0xD235, 0x4598, {0xBB, 0xEF, 0x98, 0xFE, 0x4D, 0x1A, 0x3A, 0xD4}};
constexpr GUID kIidToastNotificationFactory = {
    0x04124B20, 0x82C6, 0x4229, {0xB1, 0x09, 0xFD, 0x9E, 0xD4, 0x66, 0x2B, 0x53}};
constexpr GUID kIidToastNotification2 = {
    0x9DFB9FD1, 0x143A, 0x490E, {0x90, 0xBF, 0xB9, 0xFB, 0xA7, 0x13, 0x2D, 0xE7}};
constexpr GUID kIidXmlDocument = {
    0xF7F3A506, 0x1E87, 0x42D6, {0xBC, 0xFB, 0xB8, 0xC8, 0x09, 0xFA, 0x54, 0x94}};
constexpr GUID kIidXmlDocumentIO = {
    0x6CD0E74E, 0xEE65, 0x4489, {0x9E, 0xBF, 0xCA, 0x43, 0xE8, 0x7B, 0xA6, 0x37}};
constexpr GUID kIidToastActivatedHandler = {
    0xAB54DE2D, 0x97D9, 0x5528, {0xB6, 0xAD, 0x10, 0x5A, 0xFE, 0x15, 0x65, 0x30}};
constexpr GUID kIidAgileObject = {
    0x94EA2B94, 0xE9CC, 0x49E0, {0xC0, 0xFF, 0xEE, 0x64, 0xCA, 0x8F, 0x5B, 0x90}};

// The Windows Runtime's entry points, looked up: a system without them (Windows 7, Wine builds
// without them) simply has no toasts.
struct TCombase {
  using TCreateString = HRESULT(WINAPI*)(const wchar_t*, UINT32, HSTRING*);
  using TDeleteString = HRESULT(WINAPI*)(HSTRING);
  using TGetActivationFactory = HRESULT(WINAPI*)(HSTRING, REFIID, void**);
  using TActivateInstance = HRESULT(WINAPI*)(HSTRING, IInspectable**);
  TCreateString CreateString = nullptr;
  TDeleteString DeleteString = nullptr;
  TGetActivationFactory GetActivationFactory = nullptr;
  TActivateInstance ActivateInstance = nullptr;

  static const TCombase* Get() {
    static const TCombase entries = [] {
      TCombase result;
      HMODULE module = LoadLibraryExW(L"combase.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
      if (!module) return result;
      const auto find = [module](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module, name));
      };
      result.CreateString = reinterpret_cast<TCreateString>(find("WindowsCreateString"));
      result.DeleteString = reinterpret_cast<TDeleteString>(find("WindowsDeleteString"));
      result.GetActivationFactory =
          reinterpret_cast<TGetActivationFactory>(find("RoGetActivationFactory"));
      result.ActivateInstance = reinterpret_cast<TActivateInstance>(find("RoActivateInstance"));
      return result;
    }();
    const bool complete = entries.CreateString && entries.DeleteString &&
                          entries.GetActivationFactory && entries.ActivateInstance;
    return complete ? &entries : nullptr;
  }
};

// An HSTRING owned for the length of a call.
class THString {
 public:
  THString(const TCombase& combase, const std::wstring& text) : FCombase(combase) {
    if (FAILED(combase.CreateString(text.c_str(), static_cast<UINT32>(text.size()), &FValue)))
      FValue = nullptr;
  }
  ~THString() {
    if (FValue) FCombase.DeleteString(FValue);
  }
  THString(const THString&) = delete;
  THString& operator=(const THString&) = delete;
  HSTRING Get() const { return FValue; }

 private:
  const TCombase& FCombase;
  HSTRING FValue = nullptr;
};

// The handler of one toast's click. The system calls it on a thread of its own; it only posts
// the toast's serial number to the window of the user-interface thread.
class TActivatedHandler final : public IToastActivatedHandlerAbi {
 public:
  TActivatedHandler(HWND window, WPARAM serial) : FWindow(window), FSerial(serial) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, kIidToastActivatedHandler) ||
        IsEqualGUID(iid, kIidAgileObject)) {
      *object = static_cast<IToastActivatedHandlerAbi*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FReferences; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --FReferences;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(IInspectable*, IInspectable*) override {
    PostMessageW(FWindow, kToastClicked, FSerial, 0);
    return S_OK;
  }

 private:
  ~TActivatedHandler() = default;
  std::atomic<ULONG> FReferences{1};
  HWND FWindow;
  WPARAM FSerial;
};

std::wstring XmlEscaped(const std::wstring& text) {
  std::wstring out;
  for (const wchar_t c : text) {
    switch (c) {
      case L'&':
        out += L"&amp;";
        break;
      case L'<':
        out += L"&lt;";
        break;
      case L'>':
        out += L"&gt;";
        break;
      case L'"':
        out += L"&quot;";
        break;
      case L'\'':
        out += L"&apos;";
        break;
      default:
        // XML has no way to write the other control characters.
        if (c >= 0x20 || c == L'\t' || c == L'\n' || c == L'\r') out += c;
        break;
    }
  }
  return out;
}

// The application's entry below HKCU\Software\Classes\AppUserModelId: its name in the toasts.
void RegisterAppUserModelId(const std::wstring& id, const std::string& name) {
  HKEY key = nullptr;
  const std::wstring path = L"Software\\Classes\\AppUserModelId\\" + id;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  const std::wstring display = Widen(name);
  RegSetValueExW(key, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(display.c_str()),
                 static_cast<DWORD>((display.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

}  // namespace

// The toasts of one AppUserModelID, and the ones shown that still report their clicks.
class TToastNotifier {
 public:
  static std::unique_ptr<TToastNotifier> Create(const std::wstring& appUserModelId,
                                                const std::string& appName) {
    const TCombase* combase = TCombase::Get();
    if (!combase) return nullptr;
    auto notifier = std::unique_ptr<TToastNotifier>(new TToastNotifier(*combase));
    ComPtr<IToastNotificationManagerStaticsAbi> manager;
    {
      const THString name(*combase, L"Windows.UI.Notifications.ToastNotificationManager");
      if (!name.Get() ||
          FAILED(combase->GetActivationFactory(name.Get(), kIidToastNotificationManagerStatics,
                                               reinterpret_cast<void**>(manager.GetAddressOf()))))
        return nullptr;
    }
    {
      const THString name(*combase, L"Windows.UI.Notifications.ToastNotification");
      if (!name.Get() || FAILED(combase->GetActivationFactory(
                             name.Get(), kIidToastNotificationFactory,
                             reinterpret_cast<void**>(notifier->FFactory.GetAddressOf()))))
        return nullptr;
    }
    RegisterAppUserModelId(appUserModelId, appName);
    const THString id(*combase, appUserModelId);
    if (!id.Get() ||
        FAILED(manager->CreateToastNotifierWithId(id.Get(), notifier->FNotifier.GetAddressOf())) ||
        !notifier->FNotifier)
      return nullptr;
    return notifier;
  }

  ~TToastNotifier() {
    for (TShown& shown : FShown)
      shown.Toast->remove_Activated(shown.Token);
  }

  bool Show(const std::wstring& xml, const std::wstring& tag, HWND window, WPARAM serial) {
    ComPtr<IInspectable> document;
    {
      const THString name(FCombase, L"Windows.Data.Xml.Dom.XmlDocument");
      if (!name.Get() || FAILED(FCombase.ActivateInstance(name.Get(), document.GetAddressOf())))
        return false;
    }
    ComPtr<IXmlDocumentIOAbi> io;
    ComPtr<IInspectable> content;
    const THString text(FCombase, xml);
    if (FAILED(document->QueryInterface(kIidXmlDocumentIO,
                                        reinterpret_cast<void**>(io.GetAddressOf()))) ||
        !text.Get() || FAILED(io->LoadXml(text.Get())) ||
        FAILED(document->QueryInterface(kIidXmlDocument,
                                        reinterpret_cast<void**>(content.GetAddressOf()))))
      return false;
    ComPtr<IToastNotificationAbi> toast;
    if (FAILED(FFactory->CreateToastNotification(content.Get(), toast.GetAddressOf())) || !toast)
      return false;
    // The tag replaces a toast of the same name in the notification centre as well.
    ComPtr<IToastNotification2Abi> tagged;
    if (SUCCEEDED(toast->QueryInterface(kIidToastNotification2,
                                        reinterpret_cast<void**>(tagged.GetAddressOf())))) {
      const THString tagText(FCombase, tag), group(FCombase, kToastGroup);
      tagged->put_Tag(tagText.Get());
      tagged->put_Group(group.Get());
    }
    // At most one on screen per name: the earlier one goes first.
    Withdraw(tag);
    auto* handler = new TActivatedHandler(window, serial);
    TEventToken token{};
    const HRESULT added = toast->add_Activated(handler, &token);
    handler->Release();
    if (FAILED(FNotifier->Show(toast.Get()))) {
      if (SUCCEEDED(added)) toast->remove_Activated(token);
      return false;
    }
    if (SUCCEEDED(added)) FShown.push_back({tag, toast, token});
    while (FShown.size() > kToastsKept) {
      FShown.front().Toast->remove_Activated(FShown.front().Token);
      FShown.pop_front();
    }
    return true;
  }

 private:
  explicit TToastNotifier(const TCombase& combase) : FCombase(combase) {}

  void Withdraw(const std::wstring& tag) {
    for (auto it = FShown.begin(); it != FShown.end();) {
      if (it->Tag != tag) {
        ++it;
        continue;
      }
      it->Toast->remove_Activated(it->Token);
      FNotifier->Hide(it->Toast.Get());
      it = FShown.erase(it);
    }
  }

  struct TShown {
    std::wstring Tag;
    ComPtr<IToastNotificationAbi> Toast;
    TEventToken Token;
  };
  const TCombase& FCombase;
  ComPtr<IToastNotificationFactoryAbi> FFactory;
  ComPtr<IToastNotifierAbi> FNotifier;
  std::deque<TShown> FShown;
};

std::wstring ToastXml(const std::string& title, const std::string& body) {
  return L"<toast><visual><binding template=\"ToastGeneric\"><text>" + XmlEscaped(Widen(title)) +
         L"</text><text>" + XmlEscaped(Widen(body)) + L"</text></binding></visual></toast>";
}

std::wstring ToastTag(const std::string& name) {
  // FNV-1a over the name's bytes: 16 hexadecimal digits, within the 16 characters early
  // Windows 10 allows a tag.
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  static constexpr wchar_t kHex[] = L"0123456789abcdef";
  std::wstring tag(16, L'0');
  for (int i = 15; i >= 0; --i, hash >>= 4)
    tag[static_cast<std::size_t>(i)] = kHex[hash & 0xF];
  return tag;
}

std::wstring TWin32Notifications::AppUserModelId(const std::string& appId) {
  std::wstring id = L"Velloc." + Widen(appId);
  if (id.size() > 128) id.resize(128);  // the system's limit
  return id;
}

TWin32Notifications::TWin32Notifications(std::string appId, std::string appName,
                                         TWin32TrayIcon* balloons)
    : FAppId(std::move(appId)), FAppName(std::move(appName)), FBalloons(balloons) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterWindowClassOnce(instance, kWindowClass, &TWin32Notifications::WindowProc,
                          "notifications window");
  FWindow = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                            nullptr);
  if (FWindow) SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TWin32Notifications::~TWin32Notifications() {
  FToasts.reset();
  if (FBalloons) FBalloons->CancelBalloonClick();
  if (FWindow) {
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
    DestroyWindow(FWindow);
  }
}

bool TWin32Notifications::ShowToast(const TNotification& notification) {
  if (!FToastsTried) {
    FToastsTried = true;
    FToasts = TToastNotifier::Create(AppUserModelId(FAppId), FAppName);
  }
  if (!FToasts || !FWindow) return false;
  const WPARAM serial = ++FSerial;
  if (!FToasts->Show(ToastXml(notification.Title, notification.AlertBody),
                     ToastTag(notification.Name), FWindow, serial))
    return false;
  FNames[serial] = notification.Name;
  while (FNames.size() > kToastsKept)
    FNames.erase(FNames.begin());
  return true;
}

void TWin32Notifications::Present(const TNotification& notification,
                                  std::function<void(bool shown)> done) {
  bool shown = false;
  if (ShowToast(notification)) {
    FLastPath = "toast";
    shown = true;
  } else if (FBalloons &&
             FBalloons->ShowBalloon(notification.Title, notification.AlertBody,
                                    [this, name = notification.Name] { Clicked(name); })) {
    FLastPath = "balloon";
    shown = true;
  } else {
    FLastPath = "none";
  }
  if (done) done(shown);
}

void TWin32Notifications::Clicked(const std::string& name) {
  if (FOnClick) FOnClick(name);
}

LRESULT CALLBACK TWin32Notifications::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  auto* self = reinterpret_cast<TWin32Notifications*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == kToastClicked) {
    // No exception may unwind into the system's message dispatch.
    try {
      const auto found = self->FNames.find(wParam);
      if (found != self->FNames.end()) self->Clicked(found->second);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "velloc: notifications: %s\n", error.what());
    } catch (...) {
      std::fprintf(stderr, "velloc: notifications: unknown error\n");
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace velloc::platform::win32
