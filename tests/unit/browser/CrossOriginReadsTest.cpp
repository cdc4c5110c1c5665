// The rules of forwarded cross-origin reads: where a redirect leads (RFC 3986's own examples),
// which origin a hop is at, and what the next request of a chain keeps of the page's.
#include <gtest/gtest.h>

#include "browser/CrossOriginReads.h"

namespace velloc::browser {
namespace {

TEST(CrossOriginReads, ResolvesLocationsAsRfc3986Does) {
  const char* base = "http://a/b/c/d;p?q";
  const struct {
    const char* Reference;
    const char* Resolved;
  } cases[] = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q"},  // the fragment is the page's, never the server's
      {"g?y#s", "http://a/b/c/g?y"},
      {";x", "http://a/b/c/;x"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      {"../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"https://other.example:8443/x/../y?z", "https://other.example:8443/y?z"},
      {" /padded ", "http://a/padded"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolveReference(base, c.Reference), c.Resolved) << c.Reference;
  // A base without a path.
  EXPECT_EQ(ResolveReference("https://a.example", "next"), "https://a.example/next");
  EXPECT_EQ(ResolveReference("https://a.example", "?q"), "https://a.example?q");
}

TEST(CrossOriginReads, ComparesHttpOrigins) {
  const struct {
    const char* A;
    const char* B;
    bool Same;
  } cases[] = {
      {"http://a.example/x", "http://a.example/y?z", true},
      {"http://a.example/", "http://a.example:80/", true},
      {"https://A.Example:443/", "HTTPS://a.example/", true},
      {"http://user:pw@a.example/", "http://a.example/", true},
      {"http://[::1]/", "http://[::1]:80/", true},
      {"http://a.example/", "https://a.example/", false},
      {"http://a.example/", "http://a.example:8080/", false},
      {"http://127.0.0.1:8000/", "http://127.0.0.2:8000/", false},
      {"http://a.example/", "http://b.a.example/", false},
      {"http://[::1]:8080/", "http://[::1]/", false},
      {"ftp://a.example/", "ftp://a.example/", false},  // only web origins count
      {"vlx:///index.html", "vlx:///index.html", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsSameHttpOrigin(c.A, c.B), c.Same) << c.A << " / " << c.B;
}

TEST(CrossOriginReads, NextRequestOfARedirectChain) {
  using K = TRedirect;
  const std::string a = "http://a.example/start";
  const struct {
    int Status;
    const char* Method;
    const char* Location;  // null: no Location header
    int Redirects;
    TRedirect::TKind Kind;
    const char* Uri;
    const char* NextMethod;
    bool DropsBody;
    bool CrossOrigin;
  } cases[] = {
      {200, "GET", nullptr, 0, K::Final, "", "", false, false},
      {304, "GET", "/x", 0, K::Final, "", "", false, false},     // not a redirect
      {302, "GET", nullptr, 0, K::Final, "", "", false, false},  // nowhere to go: the page's
      {302, "GET", "/next", 0, K::Follow, "http://a.example/next", "GET", false, false},
      {301, "GET", "http://b.example/", 0, K::Follow, "http://b.example/", "GET", false, true},
      {307, "GET", "//b.example/x", 0, K::Follow, "http://b.example/x", "GET", false, true},
      {308, "PUT", "/p", 0, K::Follow, "http://a.example/p", "PUT", false, false},
      {307, "POST", "/p", 0, K::Follow, "http://a.example/p", "POST", false, false},
      // A POST answered with 301 or 302 becomes a GET; a 303 makes anything but HEAD a GET.
      {301, "POST", "/p", 0, K::Follow, "http://a.example/p", "GET", true, false},
      {302, "post", "/p", 0, K::Follow, "http://a.example/p", "GET", true, false},
      {302, "PUT", "/p", 0, K::Follow, "http://a.example/p", "PUT", false, false},
      {303, "PUT", "/p", 0, K::Follow, "http://a.example/p", "GET", true, false},
      {303, "HEAD", "/p", 0, K::Follow, "http://a.example/p", "HEAD", false, false},
      {302, "GET", "https://a.example/start", 0, K::Follow, "https://a.example/start", "GET", false,
       true},  // another scheme is another origin
      // Nowhere a forwarded read may go, or too many hops: the read fails.
      {302, "GET", "file:///etc/passwd", 0, K::Refused, "", "", false, false},
      {302, "GET", "vlx:///index.html", 0, K::Refused, "", "", false, false},
      {302, "GET", "data:text/plain,x", 0, K::Refused, "", "", false, false},
      {302, "GET", "/again", kMaxForwardedRedirects, K::Refused, "", "", false, false},
      {302, "GET", "/again", kMaxForwardedRedirects - 1, K::Follow, "http://a.example/again", "GET",
       false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Status) + " " + c.Method + " " +
                 (c.Location ? c.Location : "(none)"));
    const TRedirect next = NextRequest(
        c.Status, c.Method, a,
        c.Location ? std::optional<std::string_view>(c.Location) : std::nullopt, c.Redirects);
    EXPECT_EQ(next.Kind, c.Kind);
    if (c.Kind != K::Follow) continue;
    EXPECT_EQ(next.Uri, c.Uri);
    EXPECT_EQ(next.Method, c.NextMethod);
    EXPECT_EQ(next.DropsBody, c.DropsBody);
    EXPECT_EQ(next.CrossOrigin, c.CrossOrigin);
  }
  for (const char* name :
       {"Content-Type", "content-language", "Content-Encoding", "Content-Location"})
    EXPECT_TRUE(IsBodyHeader(name)) << name;
  for (const char* name : {"Content-Length", "Authorization", "Accept", "X-Content-Type"})
    EXPECT_FALSE(IsBodyHeader(name)) << name;
}

}  // namespace
}  // namespace velloc::browser
