// The GTK style engine on a real display (run under tests/e2e/xrun.sh): the colours GTK computes
// for the parts of a window follow the active style at once, pop-up menus keep the theme's own
// look, and "Windows" brings back every native colour.
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include "bridge/BuiltinStyles.h"
#include "bridge/StyleManager.h"
#include "platform/fake/Fakes.h"
#include "platform/gtk/GtkStyleEngine.h"

namespace velloc::platform::gtk {
namespace {

// What GTK computed for a widget's own node: text and background colours.
struct TLook {
  std::string Color, Background;
  bool operator==(const TLook&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TLook& look) {
  return out << "{color " << look.Color << ", background " << look.Background << "}";
}

std::string Rgba(const GdkRGBA& c) {
  char text[32];
  std::snprintf(text, sizeof text, "#%02x%02x%02x/%.2f", static_cast<int>(c.red * 255 + 0.5),
                static_cast<int>(c.green * 255 + 0.5), static_cast<int>(c.blue * 255 + 0.5),
                c.alpha);
  return text;
}

TLook LookOf(GtkWidget* widget) {
  GtkStyleContext* context = gtk_widget_get_style_context(widget);
  GdkRGBA* color = nullptr;
  GdkRGBA* background = nullptr;
  gtk_style_context_get(context, gtk_style_context_get_state(context), "color", &color,
                        "background-color", &background, nullptr);
  TLook look{Rgba(*color), Rgba(*background)};
  gdk_rgba_free(color);
  gdk_rgba_free(background);
  return look;
}

class GtkStyleEngine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { FHasDisplay = gtk_init_check(nullptr, nullptr); }

  void SetUp() override {
    if (!FHasDisplay) GTEST_SKIP() << "no display";
    FWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(FWindow), box);
    GtkWidget* bar = gtk_menu_bar_new();
    gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
    GtkWidget* file = gtk_menu_item_new_with_label("File");
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), file);
    Add("menubar item", file);
    Add("menubar item label", gtk_bin_get_child(GTK_BIN(file)));
    Add("menubar", bar);

    GtkWidget* menu = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(file), menu);
    GtkWidget* check = gtk_check_menu_item_new_with_label("Check");
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(check), TRUE);
    GtkWidget* disabled = gtk_menu_item_new_with_label("Disabled");
    gtk_widget_set_sensitive(disabled, FALSE);
    GtkWidget* separator = gtk_separator_menu_item_new();
    for (GtkWidget* item : {check, separator, disabled})
      gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    Add("popup window", gtk_widget_get_toplevel(menu), true);
    Add("menu", menu, true);
    Add("menu item", check, true);
    Add("menu item label", gtk_bin_get_child(GTK_BIN(check)), true);
    Add("disabled menu item label", gtk_bin_get_child(GTK_BIN(disabled)), true);
    Add("menu separator", separator, true);

    GtkWidget* button = gtk_button_new_with_label("Button");
    GtkWidget* entry = gtk_entry_new();
    GtkWidget* checkButton = gtk_check_button_new_with_label("Check");
    for (GtkWidget* w : {button, entry, checkButton})
      gtk_box_pack_start(GTK_BOX(box), w, 0, 0, 0);
    Add("window", FWindow);
    Add("button", button);
    Add("entry", entry);
    Add("check button label", gtk_bin_get_child(GTK_BIN(checkButton)));
    // A message dialog as the runtime builds one (GtkDialogs).
    FMessage = gtk_message_dialog_new(GTK_WINDOW(FWindow), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                      GTK_BUTTONS_NONE, "Message");
    gtk_dialog_add_button(GTK_DIALOG(FMessage), "OK", 1);
    gtk_dialog_add_button(GTK_DIALOG(FMessage), "Cancel", 2);
    gtk_dialog_set_default_response(GTK_DIALOG(FMessage), 1);
    Add("message dialog", FMessage);
    Add("message dialog default button",
        gtk_dialog_get_widget_for_response(GTK_DIALOG(FMessage), 1));
    Add("message dialog button", gtk_dialog_get_widget_for_response(GTK_DIALOG(FMessage), 2));
    gtk_widget_show_all(FWindow);
    gtk_widget_show_all(menu);
    Settle();
    FNative = Looks();
  }

  void TearDown() override {
    if (FMessage) gtk_widget_destroy(FMessage);
    if (FWindow) gtk_widget_destroy(FWindow);
    Settle();
  }

  void Add(const char* name, GtkWidget* widget, bool inMenu = false) {
    FParts.push_back({name, widget, inMenu});
  }

  // Long enough for the theme's colour transitions (200 ms in Adwaita) to end.
  static void Settle() {
    for (int i = 0; i < 25; ++i) {
      while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
      g_usleep(20000);
    }
  }

  std::map<std::string, TLook> Looks() {
    std::map<std::string, TLook> looks;
    for (const auto& part : FParts)
      looks[part.Name] = LookOf(part.Widget);
    return looks;
  }

  struct TPart {
    std::string Name;
    GtkWidget* Widget;
    bool InMenu;
  };
  static inline bool FHasDisplay = false;
  GtkWidget* FWindow = nullptr;
  GtkWidget* FMessage = nullptr;
  std::vector<TPart> FParts;
  std::map<std::string, TLook> FNative;
  fake::TFakeDialogs FDialogs;
};

TEST_F(GtkStyleEngine, StylesReachTheWindowButNotPopupMenus) {
  TGtkStyleEngine engine;
  bridge::TStyleManager styles(engine, FDialogs, bridge::BuiltinStyles());
  styles.ExcludeMenusFromStyling();  // as start-up does

  ASSERT_TRUE(styles.TrySetStyle("Carbon", false));
  Settle();
  std::map<std::string, TLook> carbon = Looks();
  EXPECT_EQ(carbon["window"], (TLook{"#e8e8e8/1.00", "#1f1f1f/1.00"}));
  EXPECT_EQ(carbon["menubar"].Background, "#171717/1.00");
  EXPECT_EQ(carbon["entry"].Background, "#2a2a2a/1.00");
  EXPECT_EQ(carbon["check button label"].Color, "#e8e8e8/1.00");
  EXPECT_EQ(carbon["message dialog"], carbon["window"]);
  EXPECT_EQ(carbon["message dialog default button"].Background, "#3d8fd6/1.00");  // the accent
  for (const auto& part : FParts) {
    if (part.InMenu) {
      EXPECT_EQ(carbon[part.Name], FNative[part.Name]) << part.Name << " keeps the native look";
    } else {
      EXPECT_NE(carbon[part.Name], FNative[part.Name]) << part.Name << " follows the style";
    }
  }

  // Switched at run time: the next style replaces the first at once.
  ASSERT_TRUE(styles.TrySetStyle("Iceberg Classico", false));
  Settle();
  EXPECT_EQ(Looks()["window"], (TLook{"#17243a/1.00", "#edf3f7/1.00"}));

  ASSERT_TRUE(styles.TrySetStyle("Windows", false));
  Settle();
  EXPECT_EQ(Looks(), FNative);
}

// Without the exclusion the menus take the style too: the menu checks above do look at the menus.
TEST_F(GtkStyleEngine, MenusFollowTheStyleUnlessExcluded) {
  TGtkStyleEngine engine;
  bridge::TStyleManager styles(engine, FDialogs, bridge::BuiltinStyles());
  ASSERT_TRUE(styles.TrySetStyle("Carbon", false));
  Settle();
  std::map<std::string, TLook> looks = Looks();
  EXPECT_EQ(looks["menu"].Background, "#2a2a2a/1.00");
  EXPECT_EQ(looks["menu item label"].Color, "#e8e8e8/1.00");

  styles.ExcludeMenusFromStyling();
  Settle();
  looks = Looks();
  EXPECT_EQ(looks["menu"], FNative["menu"]);
  EXPECT_EQ(looks["menu item label"], FNative["menu item label"]);
}

}  // namespace
}  // namespace velloc::platform::gtk
