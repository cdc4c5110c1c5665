// The bridge's file and folder dialogs with GtkFileChooserNative, which goes through the desktop
// portal where one runs and shows GTK's own chooser otherwise.
#pragma once

#include <memory>
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
  ~TGtkFileDialogs() override;

  // Shown with gtk_native_dialog_show and answered from their "response" signal: no nested
  // main loop runs inside a call.
  void OpenFile(const std::string& fileName, const std::string& title,
                const std::vector<TFileType>& fileTypes, TFileDialogDone done) override;
  void SaveFile(const std::string& fileName, const std::string& title,
                const std::vector<TFileType>& fileTypes, bool overwritePrompt,
                TFileDialogDone done) override;
  void SelectFolder(const std::string& title, TFileDialogDone done) override;
  void CloseAll() override;

 private:
  struct TChooser {
    glib::TObjectPtr<GtkFileChooserNative> Dialog;
    TFileDialogDone Done;  // set while the chooser is on screen
  };
  // Shows the kept chooser of a kind, or a chooser of its own when a page asks again while the
  // kept one is on screen.
  template <typename Setup>
  void Show(TChooser& kept, GtkFileChooserAction action, const std::string& title,
            TFileDialogDone done, Setup&& setup);
  static void OnResponse(GtkNativeDialog* dialog, gint response, gpointer self);
  void Answer(GtkNativeDialog* dialog, gint response);
  std::vector<TChooser*> Choosers();

  // One chooser per kind, made on first use and kept, so the folder last shown carries over.
  TChooser FOpen, FSave, FFolder;
  // Those of second requests; one that has answered goes at the next request (never inside its
  // own signal).
  std::vector<std::unique_ptr<TChooser>> FExtra;
};

// A page's file mask as a GTK glob pattern that matches ASCII letters in either case, as masks
// do: "*.png" becomes "*.[pP][nN][gG]". "*.*" (every file) becomes "*".
std::string CaseInsensitivePattern(std::string_view mask);

}  // namespace velloc::platform::gtk
