#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/DownloadPolicy.h"

namespace velloc::browser {
namespace {

TEST(DownloadPolicy, AlwaysAskedAndTheSourceNamedUnlessItIsTheApplication) {
  const std::vector<std::string> none;
  const std::vector<std::string> shown = {"https://ads.example", "http://127.0.0.1:8000"};
  const struct {
    const char* uri;
    const char* page;
    bool popup;
    const std::vector<std::string>& foreign;
    bool ask;
    const char* title;
  } cases[] = {
      // The application's own files and blobs: only remote documents could not make them.
      {"file:///report.pdf", "file:///index.html", false, shown, true, "Save File"},
      {"blob:file:///5271417f", "file:///index.html", false, shown, true, "Save File"},
      // A data: URI of a page that shows nothing else is the application's too.
      {"data:text/csv,a,b", "file:///index.html", false, none, true, "Save File"},
      // A web address or a web page's blob: that origin, whoever asked.
      {"https://files.example/a.zip", "file:///index.html", false, none, true,
       "Save a file from https://files.example"},
      {"blob:http://127.0.0.1:8000/5271", "file:///index.html", false, shown, true,
       "Save a file from http://127.0.0.1:8000"},
      {"HTTP://Files.Example:81/a?b", "https://other.example/", false, none, true,
       "Save a file from http://files.example:81"},
      // No origin in the URI while the page shows other origins: the user is told which.
      {"data:text/html,<b>x</b>", "file:///index.html", false, shown, true,
       "Save a file (this page shows https://ads.example, http://127.0.0.1:8000)"},
      {"blob:null/5271", "file:///index.html", false, shown, true,
       "Save a file (this page shows https://ads.example, http://127.0.0.1:8000)"},
      // A remote top page or a pop-up: its own origin.
      {"data:text/html,x", "https://site.example/page", false, none, true,
       "Save a file from https://site.example"},
      {"data:text/html,x", "https://popup.example/", true, none, true,
       "Save a file from https://popup.example"},
      {"file:///x.html", "https://site.example/page", false, none, true,
       "Save a file from https://site.example"},
      // Nothing to name: refused.
      {"data:text/html,x", "about:blank", false, none, false, ""},
      {"data:text/html,x", "file:///index.html", true, none, false, ""},
  };
  for (const auto& c : cases) {
    platform::TDownloadRequest request{c.uri, c.page, c.popup, c.foreign};
    const platform::TDownloadDecision decision = DecideDownload(request);
    EXPECT_EQ(decision.Ask, c.ask) << c.uri << " on " << c.page;
    EXPECT_EQ(decision.Title.substr(0, std::string(c.title).size()), c.title) << c.uri;
    if (!c.ask) {
      EXPECT_TRUE(decision.Title.empty()) << c.uri;
    }
  }
}

}  // namespace
}  // namespace velloc::browser
