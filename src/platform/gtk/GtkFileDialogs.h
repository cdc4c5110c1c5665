// The bridge's file and folder dialogs with GtkFileChooserNative, which goes through the desktop
// portal where one runs and shows GTK's own chooser otherwise.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtk/gtk.h>

#include "platform/FileDialogs.h"
#include "platform/gtk/GLibPtr.h"

namespace velloc::platform::gtk {

class TGtkFileDialogs final : public IFileDialogs {
 public:
  TGtkFileDialogs() = default;
  TGtkFileDialogs(const TGtkFileDialogs&) = delete;
  TGtkFileDialogs& operator=(const TGtkFileDialogs&) = delete;
  ~TGtkFileDialogs() override = default;

  std::optional<std::string> OpenFile(const std::string& fileName, const std::string& title,
                                      const std::vector<TFileType>& fileTypes) override;
  std::optional<std::string> SaveFile(const std::string& fileName, const std::string& title,
                                      const std::vector<TFileType>& fileTypes,
                                      bool overwritePrompt) override;
  std::optional<std::string> SelectFolder(const std::string& title) override;

 private:
  // One chooser per kind, made on first use and kept, so the folder last shown carries over.
  struct TChooser {
    glib::TObjectPtr<GtkFileChooserNative> Dialog;
    bool Busy = false;  // shown right now, by a call further up the stack
  };
  // Runs the kept chooser, or a fresh one when a page asks again while the kept one is shown.
  template <typename Setup>
  std::optional<std::string> Run(TChooser& chooser, GtkFileChooserAction action,
                                 const std::string& title, Setup&& setup);

  TChooser FOpen, FSave, FFolder;
};

// A page's file mask as a GTK glob pattern that matches ASCII letters in either case, as masks
// do: "*.png" becomes "*.[pP][nN][gG]". "*.*" (every file) becomes "*".
std::string CaseInsensitivePattern(std::string_view mask);

}  // namespace velloc::platform::gtk
