#include "platform/webkit/PermissionQuestions.h"

#include <utility>

#include "browser/PermissionPolicy.h"
#include "platform/gtk/CallbackGuard.h"
#include "platform/webkit/WebKitWebView.h"

namespace velloc::webkit {
namespace {

constexpr const char* kQuestionsKey = "velloc-permission-questions";
constexpr const char* kOriginKey = "velloc-permission-origin";

}  // namespace

TPermissionQuestions& TPermissionQuestions::Of(WebKitWebView* shown) {
  auto* questions =
      static_cast<TPermissionQuestions*>(g_object_get_data(G_OBJECT(shown), kQuestionsKey));
  if (!questions) {
    questions = new TPermissionQuestions(shown);
    g_object_set_data_full(G_OBJECT(shown), kQuestionsKey, questions,
                           [](gpointer p) { delete static_cast<TPermissionQuestions*>(p); });
  }
  return *questions;
}

TPermissionQuestions::~TPermissionQuestions() {
  CloseAll();
}

void TPermissionQuestions::Request(WebKitWebView* asker, std::string pageUri,
                                   platform::TPermissionKind kind, TAnswer answer) {
  TItem item{glib::TObjectPtr<WebKitWebView>::Ref(asker), std::move(pageUri), kind,
             std::move(answer)};
  const std::string origin = browser::OriginOf(item.PageUri);
  if (auto busy = FOrigins.find(origin); busy != FOrigins.end() && busy->second.Dialog) {
    if (busy->second.Waiting.size() >= kMaxWaiting) {
      item.Answer(false);
      return;
    }
    busy->second.Waiting.push_back(std::move(item));
    return;
  }
  Decide(origin, item);
}

bool TPermissionQuestions::Decide(const std::string& origin, TItem& item) {
  TWebKitWebView* owner = TWebKitWebView::FromView(item.Asker.Get());
  if (!owner) {
    item.Answer(false);
    return false;
  }
  const platform::TPermissionDecision decision =
      owner->PermissionRequested(item.PageUri, item.Kind);
  if (decision.State != platform::TPermissionState::Ask) {
    item.Answer(decision.State == platform::TPermissionState::Allow);
    return false;
  }
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(FShown));
  GtkWidget* dialog = gtk_message_dialog_new(
      gtk_widget_is_toplevel(top) ? GTK_WINDOW(top) : nullptr, GTK_DIALOG_DESTROY_WITH_PARENT,
      GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "%s", decision.Question.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "Permission");
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_Deny", GTK_RESPONSE_NO, "_Allow", GTK_RESPONSE_YES,
                         nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO);
  g_object_set_data_full(G_OBJECT(dialog), kOriginKey, g_strdup(origin.c_str()), g_free);
  g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), this);
  g_signal_connect(dialog, "destroy", G_CALLBACK(OnDestroyed), this);
  TOrigin& slot = FOrigins[origin];
  slot.Dialog = dialog;
  slot.Open = std::move(item);
  gtk_widget_show_all(dialog);
  return true;
}

void TPermissionQuestions::OnResponse(GtkDialog* dialog, gint response, gpointer data) {
  auto* self = static_cast<TPermissionQuestions*>(data);
  const std::string origin =
      static_cast<const char*>(g_object_get_data(G_OBJECT(dialog), kOriginKey));
  glib::Guarded("a permission answer", [&] {
    auto slot = self->FOrigins.find(origin);
    if (slot == self->FOrigins.end() || slot->second.Dialog != GTK_WIDGET(dialog)) return;
    TItem item = std::move(slot->second.Open);
    slot->second.Dialog = nullptr;
    g_signal_handlers_disconnect_by_func(dialog, reinterpret_cast<gpointer>(OnDestroyed), self);
    const bool allowed = response == GTK_RESPONSE_YES;
    // The main view keeps the answer for the rest of the run, if it is still there.
    if (TWebKitWebView* owner = TWebKitWebView::FromView(item.Asker.Get())) {
      owner->PermissionAnswered(item.PageUri, item.Kind, allowed);
    }
    item.Answer(allowed);
    self->Next(origin);
  });
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

// The question's window went without an answer (with its parent window): the request and
// those waiting behind it are refused.
void TPermissionQuestions::OnDestroyed(GtkWidget* dialog, gpointer data) {
  auto* self = static_cast<TPermissionQuestions*>(data);
  glib::Guarded("a permission question closing", [&] {
    for (auto slot = self->FOrigins.begin(); slot != self->FOrigins.end(); ++slot) {
      if (slot->second.Dialog != dialog) continue;
      TOrigin closed = std::move(slot->second);
      self->FOrigins.erase(slot);
      closed.Open.Answer(false);
      for (TItem& item : closed.Waiting)
        item.Answer(false);
      return;
    }
  });
}

void TPermissionQuestions::Next(const std::string& origin) {
  auto slot = FOrigins.find(origin);
  while (slot != FOrigins.end() && !slot->second.Dialog && !slot->second.Waiting.empty()) {
    TItem item = std::move(slot->second.Waiting.front());
    slot->second.Waiting.erase(slot->second.Waiting.begin());
    if (Decide(origin, item)) return;
    slot = FOrigins.find(origin);
  }
  if (slot != FOrigins.end() && !slot->second.Dialog) FOrigins.erase(slot);
}

void TPermissionQuestions::CloseAll() {
  std::map<std::string, TOrigin> closing;
  closing.swap(FOrigins);
  for (auto& [origin, slot] : closing) {
    if (slot.Dialog) {
      g_signal_handlers_disconnect_by_data(slot.Dialog, this);
      gtk_widget_destroy(slot.Dialog);
      slot.Open.Answer(false);
    }
    for (TItem& item : slot.Waiting)
      item.Answer(false);
  }
}

}  // namespace velloc::webkit
