#include "startup/LocalizedMessages.h"

#include <array>
#include <stdexcept>

#include "core/Text.h"

namespace velloc::startup {
namespace {

// Placeholders filled from PlatformNames.
constexpr std::string_view kSystem = "{os}";
constexpr std::string_view kWebView = "{webview}";

using Row = std::array<std::string_view, msg::Count>;

constexpr Row kEnglish = {
    "en",
    "Error",
    "Confirm",
    "Accept",
    "Cancel",
    "This is not a valid {os} application.",
    "The {webview} runtime is required to run this application. This application cannot "
    "continue and will be closed now.",
    "The {webview} runtime is required to run this application. Do you want to install it now?",
    "This application cannot continue and will be closed now.",
    "You cancel the installation of {webview} runtime, This application cannot continue and "
    "will be closed now.",
};

// Searched in this order; the first row whose code equals the user's wins.
constexpr std::array<Row, 5> kOtherRows = {{
    {
        "es",
        "Error",
        "Confirmar",
        "Aceptar",
        "Cancelar",
        "Esta no es una aplicación de {os} válida.",
        "El {webview} runtime es necesario para esta aplicación. Esta aplicación no puede "
        "continuar y se cerrará ahora.",
        "El {webview} runtime es necesario para esta aplicación. ¿Quiere instalarlo ahora?",
        "Esta aplicación no puede continuar y se cerrará ahora.",
        "Ha cancelado la instalación de {webview} runtime. Esta aplicación no puede continuar y "
        "se cerrará ahora.",
    },
    {
        "it",
        "Errore",
        "Confermare",
        "Accettare",
        "Annulla",
        "Questa non è un'applicazione {os} valida.",
        "Il runtime di {webview} è necessario per eseguire questa applicazione. Questa "
        "applicazione non può continuare e verrà chiusa ora.",
        "Il runtime di {webview} è necessario per eseguire questa applicazione. Vuoi "
        "installarlo ora?",
        "Questa applicazione non può continuare e verrà chiusa ora.",
        "Annulla l'installazione del runtime di {webview}, questa applicazione non può "
        "continuare e verrà chiusa ora.",
    },
    {
        "de",
        "Error",
        "Bestätigen",
        "Akzeptieren",
        "Stornieren",
        "Dies ist keine gültige {os}-Anwendung.",
        "Die {webview}-Laufzeit ist erforderlich, um diese Anwendung auszuführen. Diese "
        "Anwendung kann nicht fortgesetzt werden und wird jetzt geschlossen.",
        "Die {webview}-Laufzeit ist erforderlich, um diese Anwendung auszuführen. Möchten Sie "
        "es jetzt installieren?",
        "Diese Anwendung kann nicht fortgesetzt werden und wird jetzt geschlossen.",
        "Sie brechen die Installation der {webview}-Laufzeit ab. Diese Anwendung kann nicht "
        "fortgesetzt werden und wird jetzt geschlossen.",
    },
    {
        "fr",
        "Erreur",
        "Confirmer",
        "J'accepte",
        "Annuler",
        "Ce n'est pas une application {os} valide.",
        "Le runtime {webview} est requis pour exécuter cette application. Cette application ne "
        "peut pas continuer et sera fermée maintenant.",
        "Le runtime {webview} est requis pour exécuter cette application. Voulez-vous "
        "l'installer maintenant?",
        "Cette application ne peut pas continuer et sera fermée maintenant.",
        "Vous annulez l'installation du runtime {webview}. Cette application ne peut pas "
        "continuer et sera fermée maintenant.",
    },
    {
        "zh",
        "错误",
        "确认",
        "接受",
        "取消",
        "这不是有效的{os}应用程序。",
        "运行此应用程序需要{webview}运行时。 该应用程序无法继续，将立即关闭。",
        "运行此应用程序需要{webview}运行时。 您要立即安装吗？",
        "此应用程序无法继续，将立即关闭。",
        "您取消了{webview}运行时的安装，此应用程序无法继续，将立即关闭。",
    },
}};

}  // namespace

std::string GetLocalizedMessage(int index) {
  return GetLocalizedMessage(index, GetUserLanguageCode(), kPlatformNames);
}

int ShowLocalizedError(platform::IDialogs& dialogs, int textIndex) {
  dialogs.MessageDlg(GetLocalizedMessage(textIndex), platform::TMsgDlgType::Error,
                     {platform::TMsgDlgBtn::Yes}, {GetLocalizedMessage(msg::AcceptButton)},
                     GetLocalizedMessage(msg::ErrorTitle));
  return 0;
}

std::string GetLocalizedMessage(int index, std::string_view languageCode,
                                const PlatformNames& names) {
  if (index < 0 || index >= msg::Count) throw std::out_of_range("MessageIndex is out of range!");
  const auto i = static_cast<std::size_t>(index);
  // English is what remains when no other row matches; its own code is never compared.
  std::string_view entry = kEnglish[i];
  for (const Row& row : kOtherRows) {
    if (row[0] == languageCode) {
      entry = row[i];
      break;
    }
  }
  std::string result(entry);
  text::ReplaceAll(result, kSystem, names.System);
  text::ReplaceAll(result, kWebView, names.WebViewRuntime);
  return result;
}

}  // namespace velloc::startup
