#include "platform/gtk/GtkFileDialogs.h"

#include <utility>

#include "platform/gtk/CallbackGuard.h"
#include "platform/gtk/DisplayLimits.h"

namespace velloc::platform::gtk {
namespace {

constexpr bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr char OtherCase(char c) {
  return static_cast<char>(c ^ 0x20);
}

// The window that is active when the call arrives owns the dialog. When none is (the page calls
// before the window manager has focused the new window, or while another application has the
// focus), the application's visible main window does: a modal dialog without an owner could
// hide behind it and leave the page usable.
GtkWindow* OwnerWindow() {
  GList* windows = gtk_window_list_toplevels();
  GtkWindow* active = nullptr;
  GtkWindow* main = nullptr;
  for (GList* item = windows; item != nullptr; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    if (!gtk_widget_get_visible(GTK_WIDGET(window))) continue;
    if (gtk_window_is_active(window) && active == nullptr) active = window;
    if (main == nullptr && gtk_window_get_window_type(window) == GTK_WINDOW_TOPLEVEL &&
        gtk_window_get_transient_for(window) == nullptr)
      main = window;
  }
  g_list_free(windows);
  return active != nullptr ? active : main;
}

void SetFileTypes(GtkFileChooser* chooser, const std::vector<TFileType>& fileTypes) {
  GSList* old = gtk_file_chooser_list_filters(chooser);
  for (GSList* item = old; item != nullptr; item = item->next)
    gtk_file_chooser_remove_filter(chooser, GTK_FILE_FILTER(item->data));
  g_slist_free(old);
  GtkFileFilter* first = nullptr;
  for (const TFileType& type : fileTypes) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, type.DisplayName.c_str());
    gtk_file_filter_add_pattern(filter, CaseInsensitivePattern(type.Mask).c_str());
    gtk_file_chooser_add_filter(chooser, filter);  // takes the floating reference
    if (first == nullptr) first = filter;
  }
  if (first != nullptr) gtk_file_chooser_set_filter(chooser, first);
}

// The folder of an absolute path when it exists, else empty.
std::string ExistingFolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == std::string::npos) return {};
  std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  return g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR) ? folder : std::string();
}

}  // namespace

std::string CaseInsensitivePattern(std::string_view mask) {
  if (mask == "*.*") return "*";
  std::string pattern;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    const char c = mask[i];
    if (IsAsciiLetter(c)) {
      pattern += '[';
      pattern += c;
      pattern += OtherCase(c);
      pattern += ']';
      continue;
    }
    const std::size_t close = c == '[' ? mask.find(']', i + 2) : std::string_view::npos;
    if (close == std::string_view::npos) {
      pattern += c;
      continue;
    }
    // A set: each letter and each range of letters also in the other case.
    std::string set(mask.substr(i + 1, close - i - 1));
    std::string extra;
    for (std::size_t j = (!set.empty() && set[0] == '!') ? 1 : 0; j < set.size(); ++j) {
      if (j + 2 < set.size() && set[j + 1] == '-') {
        if (IsAsciiLetter(set[j]) && IsAsciiLetter(set[j + 2]) &&
            (set[j] <= 'Z') == (set[j + 2] <= 'Z')) {
          extra += OtherCase(set[j]);
          extra += '-';
          extra += OtherCase(set[j + 2]);
        }
        j += 2;
      } else if (IsAsciiLetter(set[j])) {
        extra += OtherCase(set[j]);
      }
    }
    pattern += '[';
    pattern += set;
    pattern += extra;
    pattern += ']';
    i = close;
  }
  return pattern;
}

TGtkFileDialogs::~TGtkFileDialogs() {
  for (TChooser& chooser : FChoosers) {
    if (!chooser.Dialog) continue;
    g_signal_handlers_disconnect_by_data(chooser.Dialog.Get(), this);
    gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(chooser.Dialog.Get()));
  }
}

std::size_t TGtkFileDialogs::Take(TKind kind, GtkFileChooserAction action) {
  for (std::size_t i = FChoosers.size(); i-- > kKinds;) {
    if (!FChoosers[i].Done) FChoosers.erase(FChoosers.begin() + static_cast<std::ptrdiff_t>(i));
  }
  std::size_t index = kind;
  if (FChoosers[kind].Done) {
    index = FChoosers.size();
    FChoosers.emplace_back();
  }
  TChooser& use = FChoosers[index];
  if (!use.Dialog) {
    use.Dialog.Reset(gtk_file_chooser_native_new(nullptr, nullptr, action, nullptr, nullptr));
    GtkFileChooser* fileChooser = GTK_FILE_CHOOSER(use.Dialog.Get());
    gtk_file_chooser_set_local_only(fileChooser, TRUE);
    gtk_file_chooser_set_select_multiple(fileChooser, FALSE);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(use.Dialog.Get()), TRUE);
    // GTK's own chooser would start in its "Recent" view, where a folder cannot be chosen by
    // typing its path; from then on the folder last shown carries over.
    if (action == GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER)
      gtk_file_chooser_set_current_folder(fileChooser, g_get_home_dir());
    g_signal_connect(use.Dialog.Get(), "response", G_CALLBACK(OnResponse), this);
  }
  return index;
}

void TGtkFileDialogs::Present(std::size_t index, const std::string& title, TFileDialogDone done) {
  TChooser& chooser = FChoosers[index];
  GtkNativeDialog* dialog = GTK_NATIVE_DIALOG(chooser.Dialog.Get());
  gtk_native_dialog_set_title(dialog, DisplayTitle(title).c_str());
  gtk_native_dialog_set_transient_for(dialog, OwnerWindow());
  chooser.Done = std::move(done);
  gtk_native_dialog_show(dialog);
}

void TGtkFileDialogs::OnResponse(GtkNativeDialog* dialog, gint response, gpointer self) {
  glib::Guarded("a file dialog's answer",
                [&] { static_cast<TGtkFileDialogs*>(self)->Answer(dialog, response); });
}

void TGtkFileDialogs::Answer(GtkNativeDialog* dialog, gint response) {
  for (TChooser& chooser : FChoosers) {
    if (GTK_NATIVE_DIALOG(chooser.Dialog.Get()) != dialog || !chooser.Done) continue;
    const TFileDialogDone done = std::exchange(chooser.Done, nullptr);
    gtk_native_dialog_set_transient_for(dialog, nullptr);
    const glib::TGFree<char> path(response == GTK_RESPONSE_ACCEPT
                                      ? gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))
                                      : nullptr);
    done(path.Get() ? std::optional<std::string>(path.Get()) : std::nullopt);
    return;
  }
}

void TGtkFileDialogs::CloseAll() {
  for (TChooser& chooser : FChoosers) {
    if (!chooser.Done) continue;
    chooser.Done = nullptr;
    // Ends the interaction; no answer comes for it.
    gtk_native_dialog_hide(GTK_NATIVE_DIALOG(chooser.Dialog.Get()));
    gtk_native_dialog_set_transient_for(GTK_NATIVE_DIALOG(chooser.Dialog.Get()), nullptr);
  }
}

void TGtkFileDialogs::OpenFile(const std::string& fileName, const std::string& title,
                               const std::vector<TFileType>& fileTypes, TFileDialogDone done) {
  const std::size_t index = Take(kOpen, GTK_FILE_CHOOSER_ACTION_OPEN);
  GtkFileChooser* chooser = Chooser(index);
  SetFileTypes(chooser, fileTypes);
  gtk_file_chooser_unselect_all(chooser);
  // An open dialog has no name to type in; a full path picks the file and its folder.
  if (g_file_test(fileName.c_str(), G_FILE_TEST_IS_REGULAR) && fileName.starts_with('/')) {
    gtk_file_chooser_set_filename(chooser, fileName.c_str());
  } else if (const std::string folder = ExistingFolderOf(fileName); !folder.empty()) {
    gtk_file_chooser_set_current_folder(chooser, folder.c_str());
  }
  Present(index, title, std::move(done));
}

void TGtkFileDialogs::SaveFile(const std::string& fileName, const std::string& title,
                               const std::vector<TFileType>& fileTypes, bool overwritePrompt,
                               TFileDialogDone done) {
  const std::size_t index = Take(kSave, GTK_FILE_CHOOSER_ACTION_SAVE);
  GtkFileChooser* chooser = Chooser(index);
  SetFileTypes(chooser, fileTypes);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, overwritePrompt ? TRUE : FALSE);
  const std::string folder = ExistingFolderOf(fileName);
  if (!folder.empty()) gtk_file_chooser_set_current_folder(chooser, folder.c_str());
  const std::size_t slash = fileName.rfind('/');
  const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  gtk_file_chooser_set_current_name(chooser, name.c_str());
  Present(index, title, std::move(done));
}

void TGtkFileDialogs::SelectFolder(const std::string& title, TFileDialogDone done) {
  Present(Take(kFolder, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER), title, std::move(done));
}

}  // namespace velloc::platform::gtk
