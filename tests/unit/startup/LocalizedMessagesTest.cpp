#include <cstdlib>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "startup/LocalizedMessages.h"

#if !defined(_WIN32)
#include "platform/linux/UserLanguage.h"
#endif

namespace velloc::startup {
namespace {

TEST(LocalizedMessages, RowChoiceByLanguageCode) {
  struct Case {
    const char* code;
    int index;
    const char* expected;
  } cases[] = {
      {"de", msg::LanguageCode, "de"},
      {"de", msg::ConfirmTitle, "Bestätigen"},
      {"de", msg::AcceptButton, "Akzeptieren"},
      {"es", msg::CancelButton, "Cancelar"},
      {"it", msg::ErrorTitle, "Errore"},
      {"fr", msg::AcceptButton, "J'accepte"},
      {"zh", msg::ErrorTitle, "错误"},
      {"en", msg::LanguageCode, "en"},
      {"pt", msg::LanguageCode, "en"},  // no Portuguese row: English
      {"pt", msg::ApplicationEnds, "This application cannot continue and will be closed now."},
      {"", msg::AcceptButton, "Accept"},
      {"DE", msg::AcceptButton, "Accept"},  // codes compare exactly
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetLocalizedMessage(c.index, c.code), c.expected) << c.code << " " << c.index;
  }
}

TEST(LocalizedMessages, PlatformNamesInsideTheTexts) {
  struct Case {
    const char* code;
    int index;
    const PlatformNames& names;
    const char* expected;
  } cases[] = {
      {"en", msg::NotValidApplication, kWindowsNames, "This is not a valid Windows application."},
      {"en", msg::NotValidApplication, kLinuxNames, "This is not a valid Linux application."},
      {"en", msg::InstallationCancelled, kWindowsNames,
       "You cancel the installation of Microsoft WebView2 runtime, This application cannot "
       "continue and will be closed now."},
      {"en", msg::RuntimeInstallQuestion, kLinuxNames,
       "The WebKitGTK runtime is required to run this application. Do you want to install it "
       "now?"},
      {"de", msg::RuntimeRequired, kWindowsNames,
       "Die Microsoft WebView2-Laufzeit ist erforderlich, um diese Anwendung auszuführen. Diese "
       "Anwendung kann nicht fortgesetzt werden und wird jetzt geschlossen."},
      {"de", msg::NotValidApplication, kLinuxNames, "Dies ist keine gültige Linux-Anwendung."},
      {"es", msg::NotValidApplication, kWindowsNames,
       "Esta no es una aplicación de Windows válida."},
      {"it", msg::InstallationCancelled, kLinuxNames,
       "Annulla l'installazione del runtime di WebKitGTK, questa applicazione non può continuare "
       "e verrà chiusa ora."},
      {"fr", msg::RuntimeInstallQuestion, kWindowsNames,
       "Le runtime Microsoft WebView2 est requis pour exécuter cette application. Voulez-vous "
       "l'installer maintenant?"},
      {"zh", msg::RuntimeRequired, kWindowsNames,
       "运行此应用程序需要Microsoft WebView2运行时。 该应用程序无法继续，将立即关闭。"},
      {"zh", msg::NotValidApplication, kLinuxNames, "这不是有效的Linux应用程序。"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetLocalizedMessage(c.index, c.code, c.names), c.expected) << c.code << c.index;
  }
#if !defined(_WIN32)
  EXPECT_EQ(GetLocalizedMessage(msg::NotValidApplication, "en"),
            "This is not a valid Linux application.");
#endif
}

TEST(LocalizedMessages, IndexOutOfRangeThrows) {
  for (const int index : {-1, 10, 1000}) {
    try {
      GetLocalizedMessage(index, "en");
      ADD_FAILURE() << index;
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "MessageIndex is out of range!");
    }
  }
  EXPECT_THROW(GetLocalizedMessage(10), std::out_of_range);
}

#if !defined(_WIN32)
TEST(UserLanguage, LanguageCodeFromLocaleName) {
  struct Case {
    const char* name;
    const char* code;
  } cases[] = {
      {"de_AT.UTF-8", "de"},
      {"de_AT", "de"},
      {"zh_TW.UTF-8", "zh"},
      {"fr", "fr"},
      {"en@euro", "en"},
      {"pt_BR", "pt"},
      {"C", ""},
      {"C.UTF-8", ""},
      {"POSIX", ""},
      {"", ""},
      {"DE_de", "de"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::LanguageCodeFromLocaleName(c.name), c.code);
}

// GLib reads the environment afresh when it changes, so the user's language follows LANGUAGE.
TEST(UserLanguage, FollowsTheEnvironment) {
  struct Case {
    const char* language;
    const char* code;
    const char* accept;
  } cases[] = {
      {"de_AT", "de", "Akzeptieren"},
      {"pt_BR:es", "pt", "Accept"},
      {"zh_CN.UTF-8", "zh", "接受"},
  };
  const char* savedLanguage = std::getenv("LANGUAGE");
  const char* savedLcAll = std::getenv("LC_ALL");
  const std::string language = savedLanguage ? savedLanguage : "";
  const std::string lcAll = savedLcAll ? savedLcAll : "";
  for (const auto& c : cases) {
    setenv("LANGUAGE", c.language, 1);
    EXPECT_EQ(GetUserLanguageCode(), c.code) << c.language;
    EXPECT_EQ(GetLocalizedMessage(msg::AcceptButton), c.accept) << c.language;
  }
  unsetenv("LANGUAGE");
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(GetUserLanguageCode(), "");
  EXPECT_EQ(GetLocalizedMessage(msg::LanguageCode), "en");
  unsetenv("LC_ALL");
  if (savedLanguage) setenv("LANGUAGE", language.c_str(), 1);
  if (savedLcAll) setenv("LC_ALL", lcAll.c_str(), 1);
}
#endif

}  // namespace
}  // namespace velloc::startup
