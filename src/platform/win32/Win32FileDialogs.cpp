#include "platform/win32/Win32FileDialogs.h"

#include "platform/win32/WideText.h"

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

}  // namespace

TWin32FileDialogs::TWin32FileDialogs() {
  const HRESULT result =
      ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  FUninitializeCom = SUCCEEDED(result);  // S_FALSE too: each success is balanced
}

TWin32FileDialogs::~TWin32FileDialogs() {
  if (FUninitializeCom) ::CoUninitialize();
}

std::optional<std::string> TWin32FileDialogs::OpenFile(const std::string& fileName,
                                                       const std::string& title,
                                                       const std::vector<TFileType>& fileTypes) {
  return Show(kOpen, fileName, title, fileTypes, false);
}

std::optional<std::string> TWin32FileDialogs::SaveFile(const std::string& fileName,
                                                       const std::string& title,
                                                       const std::vector<TFileType>& fileTypes,
                                                       bool overwritePrompt) {
  return Show(kSave, fileName, title, fileTypes, overwritePrompt);
}

std::optional<std::string> TWin32FileDialogs::SelectFolder(const std::string& title) {
  return Show(kFolder, "", title, {}, false);
}

std::optional<std::string> TWin32FileDialogs::Show(TKind kind, const std::string& fileName,
                                                   const std::string& title,
                                                   const std::vector<TFileType>& fileTypes,
                                                   bool overwritePrompt) {
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
    if (overwritePrompt) {
      options |= FOS_OVERWRITEPROMPT;
    } else {
      options &= ~FOS_OVERWRITEPROMPT;
    }
  }
  dialog->SetOptions(options);
  dialog->SetClientGuid(kClientIds[kind]);

  std::vector<std::wstring> names, masks;
  for (const TFileType& type : fileTypes) {
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
  if (!fileName.empty()) dialog->SetFileName(win32::Widen(fileName).c_str());
  dialog->SetTitle(win32::Widen(title).c_str());

  // Cancelled or failed alike: no choice.
  if (FAILED(dialog->Show(::GetActiveWindow()))) return std::nullopt;
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
