#include "platform/win32/Win32FileDialogs.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <utility>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32WindowClass.h"

// clang-format off
// windows.h first: the other system headers build on it.
#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>
// clang-format on

namespace velloc::platform {
namespace {

// A COM interface pointer, released with the object.
template <typename T>
class TComPtr {
 public:
  TComPtr() = default;
  ~TComPtr() {
    if (FPointer) FPointer->Release();
  }
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  T* operator->() const { return FPointer; }
  T* Get() const { return FPointer; }
  T** Out() { return &FPointer; }
  void** OutVoid() { return reinterpret_cast<void**>(&FPointer); }

 private:
  T* FPointer = nullptr;
};

// The client ids under which the shell remembers each dialog's folder.
constexpr GUID kClientIds[] = {
    {0x5b1e0c2a, 0x8f3d, 0x4e61, {0x9a, 0x47, 0x1c, 0x3e, 0x6d, 0x20, 0x51, 0x01}},
    {0x5b1e0c2a, 0x8f3d, 0x4e61, {0x9a, 0x47, 0x1c, 0x3e, 0x6d, 0x20, 0x51, 0x02}},
    {0x5b1e0c2a, 0x8f3d, 0x4e61, {0x9a, 0x47, 0x1c, 0x3e, 0x6d, 0x20, 0x51, 0x03}},
};

constexpr wchar_t kWindowClass[] = L"VellocFileDialogs";
// Posted once for each queued dialog.
constexpr UINT kShowNext = WM_APP + 1;

}  // namespace

TWin32FileDialogs::TWin32FileDialogs() {
  const HRESULT result =
      ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  FUninitializeCom = SUCCEEDED(result);  // S_FALSE too: each success is balanced
  FWindow = win32::CreateMessageWindow(kWindowClass, &WindowProc, this);
}

TWin32FileDialogs::~TWin32FileDialogs() {
  CloseAll();
  if (FWindow) ::DestroyWindow(FWindow);
  if (FUninitializeCom) ::CoUninitialize();
}

LRESULT CALLBACK TWin32FileDialogs::WindowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  if (message != kShowNext) return ::DefWindowProcW(window, message, wParam, lParam);
  auto* self = reinterpret_cast<TWin32FileDialogs*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  // No exception may unwind into the system's message dispatch.
  try {
    if (self) self->ShowNext();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velloc: file dialog: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "velloc: file dialog: unknown error\n");
  }
  return 0;
}

void TWin32FileDialogs::Queue(TRequest request) {
  if (!FWindow) throw std::runtime_error("no window to show the file dialog from");
  FWaiting.push_back(std::make_shared<TRequest>(std::move(request)));
  if (!::PostMessageW(FWindow, kShowNext, 0, 0)) {
    FWaiting.pop_back();
    throw std::runtime_error("cannot queue the file dialog");
  }
}

void TWin32FileDialogs::ShowNext() {
  if (FWaiting.empty()) return;  // ended by CloseAll before it was shown
  const std::shared_ptr<TRequest> request = FWaiting.front();
  FWaiting.pop_front();
  FShown.push_back(request);
  // The dialog's own message loop runs here, and with it everything else: a further dialog, or
  // a close that calls CloseAll.
  std::optional<std::string> choice = Show(*request);
  std::erase(FShown, request);
  TFileDialogDone done = std::exchange(request->Done, nullptr);
  if (done) done(std::move(choice));
}

void TWin32FileDialogs::CloseAll() {
  for (const std::shared_ptr<TRequest>& request : FWaiting)
    request->Done = nullptr;
  FWaiting.clear();
  for (const std::shared_ptr<TRequest>& request : FShown) {
    request->Done = nullptr;
    if (request->Shown) request->Shown->Close(HRESULT_FROM_WIN32(ERROR_CANCELLED));
  }
}

void TWin32FileDialogs::OpenFile(const std::string& fileName, const std::string& title,
                                 const std::vector<TFileType>& fileTypes, TFileDialogDone done) {
  Queue({kOpen, fileName, title, fileTypes, false, std::move(done)});
}

void TWin32FileDialogs::SaveFile(const std::string& fileName, const std::string& title,
                                 const std::vector<TFileType>& fileTypes, bool overwritePrompt,
                                 TFileDialogDone done) {
  Queue({kSave, fileName, title, fileTypes, overwritePrompt, std::move(done)});
}

void TWin32FileDialogs::SelectFolder(const std::string& title, TFileDialogDone done) {
  Queue({kFolder, "", title, {}, false, std::move(done)});
}

std::optional<std::string> TWin32FileDialogs::SaveFile(const std::string& fileName,
                                                       const std::string& title,
                                                       const std::vector<TFileType>& fileTypes,
                                                       bool overwritePrompt) {
  TRequest request{kSave, fileName, title, fileTypes, overwritePrompt, nullptr};
  return Show(request);
}

std::optional<std::string> TWin32FileDialogs::Show(TRequest& request) {
  const TKind kind = request.Kind;
  TComPtr<IFileDialog> dialog;
  const CLSID& classId = kind == kSave ? CLSID_FileSaveDialog : CLSID_FileOpenDialog;
  if (FAILED(::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                dialog.OutVoid())))
    return std::nullopt;

  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  options |= FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST;
  options &= ~(FOS_ALLOWMULTISELECT | FOS_STRICTFILETYPES);
  if (kind == kOpen) options |= FOS_FILEMUSTEXIST;
  if (kind == kFolder) options |= FOS_PICKFOLDERS;
  if (kind == kSave) {
    if (request.OverwritePrompt) {
      options |= FOS_OVERWRITEPROMPT;
    } else {
      options &= ~FOS_OVERWRITEPROMPT;
    }
  }
  dialog->SetOptions(options);
  dialog->SetClientGuid(kClientIds[kind]);

  std::vector<std::wstring> names, masks;
  for (const TFileType& type : request.FileTypes) {
    names.push_back(win32::Widen(type.DisplayName));
    masks.push_back(win32::Widen(type.Mask));
  }
  std::vector<COMDLG_FILTERSPEC> specs;
  for (std::size_t i = 0; i < names.size(); ++i)
    specs.push_back({names[i].c_str(), masks[i].c_str()});
  if (!specs.empty() && kind != kFolder) {
    dialog->SetFileTypes(static_cast<UINT>(specs.size()), specs.data());
    const unsigned last = FTypeIndex[kind];
    dialog->SetFileTypeIndex(last >= 1 && last <= specs.size() ? last : 1);
  }
  if (!request.FileName.empty()) dialog->SetFileName(win32::Widen(request.FileName).c_str());
  dialog->SetTitle(win32::Widen(request.Title).c_str());

  // Cancelled, ended by CloseAll or failed alike: no choice.
  request.Shown = dialog.Get();
  const HRESULT shown = dialog->Show(::GetActiveWindow());
  request.Shown = nullptr;
  if (FAILED(shown)) return std::nullopt;
  if (!specs.empty() && kind != kFolder) {
    UINT chosen = 0;
    if (SUCCEEDED(dialog->GetFileTypeIndex(&chosen))) FTypeIndex[kind] = chosen;
  }
  TComPtr<IShellItem> item;
  if (FAILED(dialog->GetResult(item.Out()))) return std::nullopt;
  PWSTR path = nullptr;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path) return std::nullopt;
  std::string chosen = win32::Narrow(path);
  ::CoTaskMemFree(path);
  return chosen;
}

}  // namespace velloc::platform
