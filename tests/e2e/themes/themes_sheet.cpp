// e2e-themes-sheet OUTPUT.png [COLUMNS]: draws one sample form per style ("Windows" and the
// built-in styles, in the order pages list them) into one PNG, so a person can judge the styles
// at a glance. Each tile has a menu bar with a hovered item, a label, an entry with selected
// text, a default, a plain and a disabled button, check and radio buttons, a list with a selected
// row, a progress bar, a scroll bar and a tooltip. The styles are switched through the runtime's
// own style manager and GTK engine. Needs a display (tests/e2e/xrun.sh gives it one).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "bridge/BuiltinStyles.h"
#include "bridge/StyleManager.h"
#include "bridge/StylesUtils.h"
#include "platform/Dialogs.h"
#include "platform/gtk/GtkStyleEngine.h"

namespace {

using namespace velloc;

constexpr int kTileWidth = 400, kTileHeight = 250, kGap = 6;

class TConsoleDialogs : public platform::IDialogs {
 public:
  int MessageDlg(const std::string& message, platform::TMsgDlgType,
                 const std::vector<platform::TMsgDlgBtn>&, const std::vector<std::string>&,
                 const std::string&) override {
    std::fprintf(stderr, "%s\n", message.c_str());
    return platform::mrOk;
  }
  void ShowMessage(const std::string&, const std::string& message, bool) override {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
};

GtkWidget* MenuBar() {
  GtkWidget* bar = gtk_menu_bar_new();
  for (const char* label : {"_File", "_Edit", "_View", "_Help"}) {
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(label);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), item);
    if (label[1] == 'E') gtk_widget_set_state_flags(item, GTK_STATE_FLAG_PRELIGHT, FALSE);
  }
  return bar;
}

GtkWidget* Sample(const std::string& name) {
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(box), MenuBar(), FALSE, FALSE, 0);

  GtkWidget* body = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_container_set_border_width(GTK_CONTAINER(body), 8);
  gtk_box_pack_start(GTK_BOX(box), body, TRUE, TRUE, 0);

  GtkWidget* title = gtk_label_new(nullptr);
  char* markup = g_markup_printf_escaped("<b>%s</b>", name.c_str());
  gtk_label_set_markup(GTK_LABEL(title), markup);
  g_free(markup);
  gtk_label_set_xalign(GTK_LABEL(title), 0);

  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(entry), "Entry with selected text");
  gtk_editable_select_region(GTK_EDITABLE(entry), 11, 24);

  GtkWidget* row1 = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_pack_start(GTK_BOX(row1), title, TRUE, TRUE, 0);
  GtkWidget* tooltip = gtk_label_new("Tooltip");
  GtkWidget* tooltipBox = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_style_context_add_class(gtk_widget_get_style_context(tooltipBox), "tooltip");
  gtk_container_set_border_width(GTK_CONTAINER(tooltipBox), 3);
  gtk_container_add(GTK_CONTAINER(tooltipBox), tooltip);
  gtk_box_pack_end(GTK_BOX(row1), tooltipBox, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body), row1, FALSE, FALSE, 0);

  GtkWidget* row2 = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_pack_start(GTK_BOX(row2), entry, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(body), row2, FALSE, FALSE, 0);

  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  GtkWidget* ok = gtk_button_new_with_label("OK");
  gtk_style_context_add_class(gtk_widget_get_style_context(ok), "suggested-action");
  GtkWidget* cancel = gtk_button_new_with_label("Cancel");
  GtkWidget* hovered = gtk_button_new_with_label("Hover");
  gtk_widget_set_state_flags(hovered, GTK_STATE_FLAG_PRELIGHT, FALSE);
  GtkWidget* disabled = gtk_button_new_with_label("Disabled");
  gtk_widget_set_sensitive(disabled, FALSE);
  for (GtkWidget* b : {ok, cancel, hovered, disabled})
    gtk_box_pack_start(GTK_BOX(buttons), b, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body), buttons, FALSE, FALSE, 0);

  GtkWidget* checks = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  GtkWidget* check = gtk_check_button_new_with_label("Check");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), TRUE);
  GtkWidget* unchecked = gtk_check_button_new_with_label("Off");
  GtkWidget* radio = gtk_radio_button_new_with_label(nullptr, "Radio");
  GtkWidget* progress = gtk_progress_bar_new();
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress), 0.6);
  gtk_widget_set_valign(progress, GTK_ALIGN_CENTER);
  for (GtkWidget* w : {check, unchecked, radio})
    gtk_box_pack_start(GTK_BOX(checks), w, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(checks), progress, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(body), checks, FALSE, FALSE, 0);

  GtkWidget* list = gtk_list_box_new();
  for (const char* text : {"List row", "Selected row"}) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_widget_set_margin_start(label, 6);
    gtk_list_box_insert(GTK_LIST_BOX(list), label, -1);
  }
  gtk_list_box_select_row(GTK_LIST_BOX(list), gtk_list_box_get_row_at_index(GTK_LIST_BOX(list), 1));
  GtkWidget* frame = gtk_frame_new(nullptr);
  gtk_container_add(GTK_CONTAINER(frame), list);
  gtk_box_pack_start(GTK_BOX(body), frame, TRUE, TRUE, 0);
  GtkAdjustment* adjustment = gtk_adjustment_new(30, 0, 100, 1, 10, 30);
  GtkWidget* scrollbar = gtk_scrollbar_new(GTK_ORIENTATION_HORIZONTAL, adjustment);
  gtk_box_pack_start(GTK_BOX(body), scrollbar, FALSE, FALSE, 0);
  return box;
}

void Settle() {
  while (gtk_events_pending())
    gtk_main_iteration_do(FALSE);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: e2e-themes-sheet OUTPUT.png [COLUMNS]\n");
    return 2;
  }
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "e2e-themes-sheet: no display\n");
    return 1;
  }
  const int columns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  TConsoleDialogs dialogs;
  platform::gtk::TGtkStyleEngine engine;
  bridge::TStyleManager styles(engine, dialogs, bridge::BuiltinStyles());
  styles.ExcludeMenusFromStyling();
  std::vector<std::string> names;
  bridge::TStylesUtils::GetAvailables(styles, names, true);

  const int rows = (static_cast<int>(names.size()) + columns - 1) / columns;
  cairo_surface_t* sheet = cairo_image_surface_create(
      CAIRO_FORMAT_RGB24, columns * (kTileWidth + kGap) + kGap, rows * (kTileHeight + kGap) + kGap);
  cairo_t* cr = cairo_create(sheet);
  cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
  cairo_paint(cr);

  int failures = 0;
  for (int i = 0; i < static_cast<int>(names.size()); ++i) {
    const std::string& name = names[static_cast<std::size_t>(i)];
    if (!bridge::TStylesUtils::TrySetStyle(styles, name, true)) ++failures;
    GtkWidget* window = gtk_offscreen_window_new();
    gtk_window_set_default_size(GTK_WINDOW(window), kTileWidth, kTileHeight);
    gtk_container_add(GTK_CONTAINER(window), Sample(name));
    gtk_widget_show_all(window);
    Settle();
    const int x = kGap + (i % columns) * (kTileWidth + kGap);
    const int y = kGap + (i / columns) * (kTileHeight + kGap);
    cairo_save(cr);
    cairo_rectangle(cr, x, y, kTileWidth, kTileHeight);
    cairo_clip(cr);
    cairo_translate(cr, x, y);
    gtk_widget_draw(window, cr);
    cairo_restore(cr);
    gtk_widget_destroy(window);
  }
  cairo_destroy(cr);
  const cairo_status_t status = cairo_surface_write_to_png(sheet, argv[1]);
  cairo_surface_destroy(sheet);
  if (status != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "e2e-themes-sheet: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%zu styles drawn into %s\n", names.size(), argv[1]);
  return failures == 0 ? 0 : 1;
}
