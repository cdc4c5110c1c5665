#include "platform/gtk/GtkBrowserFormView.h"

#include <string>
#include <utility>

#include "platform/Menus.h"
#include "platform/gtk/CallbackGuard.h"
#include "platform/gtk/DisplayLimits.h"
#include "platform/gtk/GtkDialogs.h"

namespace velloc::platform::gtk {
namespace {

constexpr int kProgressBarHeight = 4;
constexpr gint kWaitResponse = 1;
constexpr gint kReloadResponse = 2;

}  // namespace

TGtkBrowserFormView::TGtkBrowserFormView(GtkWidget* parent, TWebKitLoader& loader)
    : FLoader(loader) {
  FBox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  FHost = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_widget_set_can_focus(FHost, TRUE);
  FProgressBar = gtk_progress_bar_new();
  gtk_widget_set_size_request(FProgressBar, -1, kProgressBarHeight);
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(
      css, "progressbar trough, progressbar progress { min-height: 4px; border-radius: 0; }", -1,
      nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(FProgressBar),
                                 GTK_STYLE_PROVIDER(css), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
  gtk_widget_set_no_show_all(FProgressBar, TRUE);
  gtk_box_pack_start(GTK_BOX(FBox), FHost, TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(FBox), FProgressBar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(parent), FBox, TRUE, TRUE, 0);
  gtk_widget_show(FHost);
  gtk_widget_show(FBox);
}

TGtkBrowserFormView::~TGtkBrowserFormView() {
  // The widgets may be gone with the window already; only the sources and the web view are ours.
  SetTimer(false, 0, nullptr);
  if (FPulse) g_source_remove(FPulse);
  ClosePageQuestion();
  DestroyBrowser();
}

bool TGtkBrowserFormView::CreateBrowser(IWebViewEvents& events) {
  webkit::IWebKitModule* module = FLoader.Module();
  if (FBrowser || !module) return false;
  FBrowser = module->CreateWebView(events);
  if (!FBrowser) {
    events.BrowserCreationFailed("WebKit made no web view");
    return false;
  }
  gtk_box_pack_start(GTK_BOX(FHost), FBrowser->Widget(), TRUE, TRUE, 0);
  gtk_widget_show(FBrowser->Widget());
  events.BrowserAfterCreated();
  return true;
}

void TGtkBrowserFormView::DestroyBrowser() {
  FBrowser.reset();
}

void TGtkBrowserFormView::SetProgressBarVisible(bool visible) {
  gtk_widget_set_visible(FProgressBar, visible);
  if (visible && !FPulse) {
    // A marquee: the bar runs without knowing how far the load is.
    FPulse = g_timeout_add(
        100,
        [](gpointer bar) -> gboolean {
          gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
          return G_SOURCE_CONTINUE;
        },
        FProgressBar);
  } else if (!visible && FPulse) {
    g_source_remove(FPulse);
    FPulse = 0;
  }
}

bool TGtkBrowserFormView::ProgressBarVisible() const {
  return gtk_widget_get_visible(FProgressBar);
}

void TGtkBrowserFormView::SetTimer(bool enabled, int intervalMs, std::function<void()> onTick) {
  if (FTimer) {
    g_source_remove(FTimer);
    FTimer = 0;
  }
  FOnTick = std::move(onTick);
  if (!enabled || !FOnTick) return;
  FTimer = g_timeout_add(
      static_cast<guint>(intervalMs),
      [](gpointer data) -> gboolean {
        auto* self = static_cast<TGtkBrowserFormView*>(data);
        // The tick may stop or restart the timer itself; this source is done either way.
        self->FTimer = 0;
        std::function<void()> tick = self->FOnTick;
        if (tick) glib::Guarded("the browser timer", tick);
        return G_SOURCE_REMOVE;
      },
      this);
}

bool TGtkBrowserFormView::BrowserWindowCanFocus() const {
  return gtk_widget_get_can_focus(FHost) && gtk_widget_get_visible(FHost);
}

void TGtkBrowserFormView::FocusBrowserWindow() {
  if (FBrowser) FBrowser->MoveFocus();
}

void TGtkBrowserFormView::ShowMessage(const std::string& text) {
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                             GTK_BUTTONS_OK, "%s", DisplayMessage(text).c_str());
  WrapMessageAnywhere(dialog);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace velloc::platform::gtk

namespace velloc::platform::gtk {

void TGtkBrowserFormView::ShowPageQuestion(const TPageQuestion& question,
                                           std::function<void(bool reload)> answered) {
  ClosePageQuestion();
  // Not modal: the window's menus, its tray icon and the close button keep working, and the
  // question can go by itself when the page answers again.
  GtkWidget* top = gtk_widget_get_toplevel(FBox);
  FQuestion = gtk_message_dialog_new(gtk_widget_is_toplevel(top) ? GTK_WINDOW(top) : nullptr,
                                     GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_WARNING,
                                     GTK_BUTTONS_NONE, "%s", question.Text.c_str());
  gtk_window_set_title(GTK_WINDOW(FQuestion), question.Title.c_str());
  gtk_dialog_add_button(GTK_DIALOG(FQuestion), MnemonicLabel(question.WaitCaption, 0, '_').c_str(),
                        kWaitResponse);
  gtk_dialog_add_button(GTK_DIALOG(FQuestion),
                        MnemonicLabel(question.ReloadCaption, 0, '_').c_str(), kReloadResponse);
  gtk_dialog_set_default_response(GTK_DIALOG(FQuestion), kWaitResponse);
  FAnswered = std::move(answered);
  // Any response ends the question, the close box (GTK_RESPONSE_DELETE_EVENT) included; a
  // window destroyed with its parent gives none, and the form goes with it anyway.
  g_signal_connect(FQuestion, "response", G_CALLBACK(OnQuestionResponse), this);
  g_signal_connect(FQuestion, "destroy", G_CALLBACK(OnQuestionDestroyed), this);
  gtk_widget_show_all(FQuestion);
}

void TGtkBrowserFormView::ClosePageQuestion() {
  GtkWidget* question = std::exchange(FQuestion, nullptr);
  FAnswered = nullptr;
  if (!question) return;
  g_signal_handlers_disconnect_by_data(question, this);
  gtk_widget_destroy(question);
}

// Gone with its parent window, unanswered.
void TGtkBrowserFormView::OnQuestionDestroyed(GtkWidget* dialog, gpointer data) {
  auto* self = static_cast<TGtkBrowserFormView*>(data);
  if (dialog != self->FQuestion) return;
  self->FQuestion = nullptr;
  self->FAnswered = nullptr;
}

void TGtkBrowserFormView::OnQuestionResponse(GtkDialog* dialog, gint response, gpointer data) {
  auto* self = static_cast<TGtkBrowserFormView*>(data);
  if (GTK_WIDGET(dialog) != self->FQuestion) return;
  std::function<void(bool)> answered = std::move(self->FAnswered);
  self->ClosePageQuestion();
  if (answered)
    glib::Guarded("the answer about the page", [&] { answered(response == kReloadResponse); });
}

}  // namespace velloc::platform::gtk
