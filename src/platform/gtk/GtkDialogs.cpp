#include "platform/gtk/GtkDialogs.h"

#include <algorithm>
#include <cstdio>

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include "platform/gtk/DisplayLimits.h"

namespace velloc::platform::gtk {
namespace {

struct TButtonInfo {
  TMsgDlgBtn Button;
  const char* Caption;
  int Result;
};

constexpr TButtonInfo kButtons[] = {
    {TMsgDlgBtn::Yes, "_Yes", mrYes},
    {TMsgDlgBtn::No, "_No", mrNo},
    {TMsgDlgBtn::OK, "_OK", mrOk},
    {TMsgDlgBtn::Cancel, "_Cancel", mrCancel},
    {TMsgDlgBtn::Abort, "_Abort", mrAbort},
    {TMsgDlgBtn::Retry, "_Retry", mrRetry},
    {TMsgDlgBtn::Ignore, "_Ignore", mrIgnore},
    {TMsgDlgBtn::All, "_All", mrAll},
    {TMsgDlgBtn::NoToAll, "N_o to All", mrNoToAll},
    {TMsgDlgBtn::YesToAll, "Yes to A_ll", mrYesToAll},
    {TMsgDlgBtn::Help, "_Help", mrHelp},
    {TMsgDlgBtn::Close, "_Close", mrClose},
};

GtkMessageType MessageType(TMsgDlgType kind) {
  switch (kind) {
    case TMsgDlgType::Warning:
      return GTK_MESSAGE_WARNING;
    case TMsgDlgType::Error:
      return GTK_MESSAGE_ERROR;
    case TMsgDlgType::Information:
      return GTK_MESSAGE_INFO;
    case TMsgDlgType::Confirmation:
      return GTK_MESSAGE_QUESTION;
    case TMsgDlgType::Custom:
      break;
  }
  return GTK_MESSAGE_OTHER;
}

// Escape presses Cancel, else No, else OK, and does nothing otherwise.
gboolean OnDialogKey(GtkWidget* dialog, GdkEventKey* event, gpointer escapeResult) {
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  const int result = GPOINTER_TO_INT(escapeResult);
  if (result != mrNone) gtk_dialog_response(GTK_DIALOG(dialog), result);
  return TRUE;
}

}  // namespace

void WrapMessageAnywhere(GtkWidget* dialog) {
  GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
  GList* children = gtk_container_get_children(GTK_CONTAINER(area));
  for (GList* item = children; item != nullptr; item = item->next) {
    if (GTK_IS_LABEL(item->data))
      gtk_label_set_line_wrap_mode(GTK_LABEL(item->data), PANGO_WRAP_WORD_CHAR);
  }
  g_list_free(children);
}

int TGtkDialogs::MessageDlg(const std::string& message, TMsgDlgType kind,
                            const std::vector<TMsgDlgBtn>& buttons,
                            const std::vector<std::string>& captions, const std::string& title) {
  const auto has = [&](TMsgDlgBtn b) {
    return std::find(buttons.begin(), buttons.end(), b) != buttons.end();
  };
  // An error goes to standard error as well, where whoever started the program from a terminal
  // looks for it; without a display it goes only there.
  if (!FHasDisplay || kind == TMsgDlgType::Error)
    std::fprintf(stderr, "%s: %s\n", DisplayTitle(title).c_str(), DisplayMessage(message).c_str());
  if (!FHasDisplay) return mrCancel;
  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, MessageType(kind), GTK_BUTTONS_NONE, "%s",
                             DisplayMessage(message).c_str());
  WrapMessageAnywhere(dialog);
  gtk_window_set_title(GTK_WINDOW(dialog), DisplayTitle(title).c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  std::size_t captionIndex = 0;
  for (const TButtonInfo& info : kButtons) {
    if (!has(info.Button)) continue;
    const std::string caption =
        captionIndex < captions.size() ? DisplayTitle(captions[captionIndex]) : info.Caption;
    ++captionIndex;
    gtk_dialog_add_button(GTK_DIALOG(dialog), caption.c_str(), info.Result);
  }
  const int defaultResult = has(TMsgDlgBtn::OK) ? mrOk : has(TMsgDlgBtn::Yes) ? mrYes : mrRetry;
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), defaultResult);
  if (GtkWidget* defaultButton =
          gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), defaultResult)) {
    gtk_widget_grab_focus(defaultButton);
  }
  const int escapeResult = has(TMsgDlgBtn::Cancel) ? mrCancel
                           : has(TMsgDlgBtn::No)   ? mrNo
                           : has(TMsgDlgBtn::OK)   ? mrOk
                                                   : mrNone;
  g_signal_connect(dialog, "key-press-event", G_CALLBACK(OnDialogKey),
                   GINT_TO_POINTER(escapeResult));
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  while (gtk_events_pending())
    gtk_main_iteration();
  // The close box counts as Cancel.
  return response > 0 ? response : mrCancel;
}

void TGtkDialogs::ShowMessage(const std::string& title, const std::string& message, bool error) {
  MessageDlg(message, error ? TMsgDlgType::Error : TMsgDlgType::Information, {TMsgDlgBtn::OK}, {},
             title);
}

void ShowApplicationError(const std::string& message) {
  const std::string shown = DisplayMessage(message);
  std::fprintf(stderr, "Application Error: %s\n", shown.c_str());
  if (gdk_display_get_default() == nullptr) return;
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_OK, "%s", shown.c_str());
  WrapMessageAnywhere(dialog);
  gtk_window_set_title(GTK_WINDOW(dialog), "Application Error");
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace velloc::platform::gtk
