#include "platform/webkit/Downloads.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/CallbackGuard.h"
#include "platform/gtk/GLibPtr.h"
#include "platform/webkit/Uris.h"
#include "platform/webkit/WebKitWebView.h"

namespace velloc::webkit {
namespace {

constexpr const char* kSaveQuestionsKey = "velloc-save-questions";
// Downloads of one window that may wait for its open save dialog; more are refused.
constexpr std::size_t kMaxWaiting = 8;

struct TWaiting {
  glib::TObjectPtr<WebKitDownload> Download;
  std::string Title;
  std::string SuggestedName;
};

// The save dialogs of one view: one open, the rest waiting.
class TSaveQuestions {
 public:
  explicit TSaveQuestions(WebKitWebView* shown) : FShown(shown) {}
  TSaveQuestions(const TSaveQuestions&) = delete;
  TSaveQuestions& operator=(const TSaveQuestions&) = delete;
  ~TSaveQuestions() {
    if (FChooser) {
      g_signal_handlers_disconnect_by_data(FChooser.Get(), this);
      gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(FChooser.Get()));
    }
    if (FOpen.Download) webkit_download_cancel(FOpen.Download.Get());
    for (TWaiting& waiting : FWaiting)
      webkit_download_cancel(waiting.Download.Get());
  }

  static TSaveQuestions& Of(WebKitWebView* shown) {
    auto* questions =
        static_cast<TSaveQuestions*>(g_object_get_data(G_OBJECT(shown), kSaveQuestionsKey));
    if (!questions) {
      questions = new TSaveQuestions(shown);
      g_object_set_data_full(G_OBJECT(shown), kSaveQuestionsKey, questions,
                             [](gpointer p) { delete static_cast<TSaveQuestions*>(p); });
    }
    return *questions;
  }

  void Ask(TWaiting waiting) {
    if (FChooser) {
      if (FWaiting.size() >= kMaxWaiting) {
        webkit_download_cancel(waiting.Download.Get());
      } else {
        FWaiting.push_back(std::move(waiting));
      }
      return;
    }
    Open(std::move(waiting));
  }

 private:
  void Open(TWaiting waiting) {
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(FShown));
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        waiting.Title.c_str(), gtk_widget_is_toplevel(top) ? GTK_WINDOW(top) : nullptr,
        GTK_FILE_CHOOSER_ACTION_SAVE, "_Save", "_Cancel");
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
    if (const char* folder = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
        folder && g_file_test(folder, G_FILE_TEST_IS_DIR)) {
      gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder);
    }
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), waiting.SuggestedName.c_str());
    g_signal_connect(chooser, "response", G_CALLBACK(OnResponse), this);
    FChooser.Reset(chooser);
    FOpen = std::move(waiting);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
  }

  static void OnResponse(GtkNativeDialog* chooser, gint response, TSaveQuestions* self) {
    glib::Guarded("a save dialog's answer", [&] {
      TWaiting answered = std::move(self->FOpen);
      glib::TGFree<char> path(response == GTK_RESPONSE_ACCEPT
                                  ? gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))
                                  : nullptr);
      g_signal_handlers_disconnect_by_data(chooser, self);
      // The dialog has asked before replacing a file.
      if (path.Get()) {
        webkit_download_set_allow_overwrite(answered.Download.Get(), TRUE);
        webkit_download_set_destination(answered.Download.Get(), path.Get());
      } else {
        webkit_download_cancel(answered.Download.Get());
      }
      glib::TObjectPtr<GtkFileChooserNative> done = std::move(self->FChooser);
      if (!self->FWaiting.empty()) {
        TWaiting next = std::move(self->FWaiting.front());
        self->FWaiting.erase(self->FWaiting.begin());
        self->Open(std::move(next));
      }
    });
  }

  WebKitWebView* FShown;  // holds this object in its data
  glib::TObjectPtr<GtkFileChooserNative> FChooser;
  TWaiting FOpen;
  std::vector<TWaiting> FWaiting;
};

// "blob:vlx:///x" names the package document that made the blob.
std::string MappedDownloadUri(std::string_view uri) {
  if (StartsWithNoCase(uri, "blob:")) return "blob:" + ToFileUri(uri.substr(5));
  return ToFileUri(uri);
}

gboolean OnDecideDestination(WebKitDownload* download, const char* suggested, gpointer) {
  return glib::Guarded("a download's destination", [&]() -> gboolean {
    WebKitWebView* shown = webkit_download_get_web_view(download);
    TWebKitWebView* owner = shown ? TWebKitWebView::OwnerOf(shown) : nullptr;
    if (!owner) {
      webkit_download_cancel(download);
      return TRUE;
    }
    platform::TDownloadRequest request;
    const char* uri = webkit_uri_request_get_uri(webkit_download_get_request(download));
    request.Uri = MappedDownloadUri(uri ? uri : "");
    const char* page = webkit_web_view_get_uri(shown);
    request.PageUri = ToFileUri(page ? page : "");
    request.InPopup = shown != owner->View();
    if (!request.InPopup) request.ForeignOrigins = owner->ForeignOrigins();
    const platform::TDownloadDecision decision = owner->DownloadRequested(request);
    if (!decision.Ask) {
      webkit_download_cancel(download);
      return TRUE;
    }
    glib::TGFree<char> name(g_path_get_basename(suggested && *suggested ? suggested : "download"));
    const bool usable = name.Get() && *name.Get() && g_strcmp0(name.Get(), "/") != 0 &&
                        g_strcmp0(name.Get(), ".") != 0 && g_strcmp0(name.Get(), "..") != 0;
    TSaveQuestions::Of(shown).Ask({glib::TObjectPtr<WebKitDownload>::Ref(download), decision.Title,
                                   usable ? name.Get() : "download"});
    return TRUE;
  });
}

void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
  g_signal_connect(download, "decide-destination", G_CALLBACK(OnDecideDestination), nullptr);
}

}  // namespace

void HandleDownloads(WebKitWebContext* context) {
  g_signal_connect(context, "download-started", G_CALLBACK(OnDownloadStarted), nullptr);
}

}  // namespace velloc::webkit
