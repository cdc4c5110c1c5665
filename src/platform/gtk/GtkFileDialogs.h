// The bridge's file and folder dialogs with GtkFileChooserNative, which goes through the desktop
// portal where one runs and shows GTK's own chooser otherwise.
#pragma once

#include <cstddef>
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
  enum TKind : std::size_t { kOpen, kSave, kFolder, kKinds };
  // The index of the chooser to show: the kept one of its kind, or one of its own when a page
  // asks again while the kept one is on screen.
  std::size_t Take(TKind kind, GtkFileChooserAction action);
  GtkFileChooser* Chooser(std::size_t index) const {
    return GTK_FILE_CHOOSER(FChoosers[index].Dialog.Get());
  }
  void Present(std::size_t index, const std::string& title, TFileDialogDone done);
  static void OnResponse(GtkNativeDialog* dialog, gint response, gpointer self);
  void Answer(GtkNativeDialog* dialog, gint response);

  // The kept chooser of each kind first, made on first use, so the folder last shown carries
  // over; then those of second requests, which go at the next request once they have answered
  // (never inside their own signal).
  std::vector<TChooser> FChoosers = std::vector<TChooser>(kKinds);
};

// A page's file mask as a GTK glob pattern that matches ASCII letters in either case, as masks
// do: "*.png" becomes "*.[pP][nN][gG]". "*.*" (every file) becomes "*".
std::string CaseInsensitivePattern(std::string_view mask);

}  // namespace velloc::platform::gtk
