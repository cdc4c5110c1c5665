// Which package-scheme requests come from an application document.
#include <gtest/gtest.h>

#include "platform/webkit/Uris.h"

namespace velloc::webkit {
namespace {

TEST(Uris, ApplicationRequests) {
  const struct {
    const char* origin;
    const char* referer;
    bool allowed;
  } cases[] = {
      {nullptr, nullptr, true},  // navigations and no-cors loads, which WebKit vets itself
      {"vlx://", nullptr, true},
      {"vlx://", "vlx:///index.html", true},
      {nullptr, "vlx:///sub/page.html", true},
      {nullptr, "file:///index.html", true},
      {"http://127.0.0.1:8000", nullptr, false},
      {"http://127.0.0.1:8000", "http://127.0.0.1:8000/", false},
      {"null", nullptr, false},  // sandboxed frames and data: documents
      {"vlx://evil", nullptr, false},
      {"", nullptr, false},
      {nullptr, "https://example.com/", false},
      {"vlx://", "https://example.com/", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsApplicationRequest(c.origin, c.referer), c.allowed)
        << (c.origin ? c.origin : "(none)") << " " << (c.referer ? c.referer : "(none)");
  }
}

TEST(Uris, SchemeMapping) {
  EXPECT_EQ(ToPackageUri("file:///a/b.html?x"), "vlx:///a/b.html?x");
  EXPECT_EQ(ToPackageUri("FILE:///a"), "vlx:///a");
  EXPECT_EQ(ToPackageUri("file://host/a"), "file://host/a");
  EXPECT_EQ(ToFileUri("vlx:///a"), "file:///a");
  EXPECT_EQ(ToFileUri("https://x/"), "https://x/");
  EXPECT_TRUE(IsApplicationUri("VLX:///index.html"));
  EXPECT_TRUE(IsApplicationUri("file:///index.html"));
  EXPECT_FALSE(IsApplicationUri("about:blank"));
  EXPECT_FALSE(IsApplicationUri("http://vlx/"));
}

TEST(Uris, ForwardingScheme) {
  EXPECT_EQ(ToForwardingUri("https://api.example/x?y=1"), "vlx-net:https://api.example/x?y=1");
  const struct {
    const char* uri;
    const char* target;
  } cases[] = {
      {"vlx-net:https://api.example/x?y=1", "https://api.example/x?y=1"},
      {"VLX-NET:http://127.0.0.1:8000/", "http://127.0.0.1:8000/"},
      // Only web addresses are forwarded: never the package, local files or other schemes.
      {"vlx-net:file:///etc/passwd", ""},
      {"vlx-net:vlx:///index.html", ""},
      {"vlx-net:ftp://host/", ""},
      {"vlx-net:", ""},
      {"https://api.example/", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FromForwardingUri(c.uri), c.target) << c.uri;
}

TEST(Uris, ContentTypeHeader) {
  EXPECT_EQ(ContentTypeHeader("text/html"), "text/html; charset=utf-8");
  EXPECT_EQ(ContentTypeHeader("image/png"), "image/png; charset=utf-8");
  EXPECT_EQ(ContentTypeHeader("application/wasm"), "application/wasm");
}

}  // namespace
}  // namespace velloc::webkit
