// Our WebView2 declarations against Microsoft's published ABI: for every declared interface, its
// interface id and its vtable size (IUnknown's three slots included, then every published method
// in published order up to the last one we declare). A slot too few or too many shifts every
// later call onto the wrong method, so the counts are checked, not assumed.
#include <cstddef>
#include <string>
#include <windows.h>

#include <gtest/gtest.h>

#include "WebView2.h"

extern "C" std::size_t WebView2VtableSlots(const char* name);
extern "C" std::size_t WebView2DeclaredInterfaceCount();

namespace {

struct TPublishedInterface {
  const char* Name;
  IID Iid;
  const wchar_t* PublishedIid;  // as Microsoft's reference writes it
  std::size_t Slots;
};

#define INTERFACE_ROW(name, iid, slots) \
  { #name, __uuidof(name), iid, slots }

// Written from Microsoft's WebView2 reference (interface ids and method lists in SDK order).
const TPublishedInterface Published[] = {
    INTERFACE_ROW(ICoreWebView2Deferral, L"{C10E7F7B-B585-46F0-A623-8BEFBF3E4EE0}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2HttpRequestHeaders, L"{E86CAC0E-5523-465C-B536-8FB9FC8C8C60}",
                  3 + 6),
    INTERFACE_ROW(ICoreWebView2HttpHeadersCollectionIterator,
                  L"{0702FC30-F43B-47BB-AB52-A42CB552AD9F}", 3 + 3),
    INTERFACE_ROW(ICoreWebView2WebResourceRequest, L"{97055CD4-512C-4264-8B5F-E3F446CEA6A5}",
                  3 + 7),
    INTERFACE_ROW(ICoreWebView2WebResourceResponse, L"{AAFCC94F-FA27-48FD-97DF-830EF75AAEC9}",
                  3 + 7),
    INTERFACE_ROW(ICoreWebView2WebResourceRequestedEventArgs,
                  L"{453E667F-12C7-49D4-BE6D-DDBE7956F57A}", 3 + 5),
    INTERFACE_ROW(ICoreWebView2WebMessageReceivedEventArgs,
                  L"{0F99A40C-E962-4207-9E92-E3D542EFF849}", 3 + 3),
    // Of seven methods we declare the first (Uri).
    INTERFACE_ROW(ICoreWebView2NavigationStartingEventArgs,
                  L"{5B495469-E119-438A-9B18-7604F25F2E49}", 3 + 1),
    // Of three we declare the first (IsSuccess).
    INTERFACE_ROW(ICoreWebView2NavigationCompletedEventArgs,
                  L"{30D68B7D-20D9-4752-A9CA-EC8448FBB5C1}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2NewWindowRequestedEventArgs,
                  L"{34ACB11C-FC37-4418-9132-F9C21D1EAFB9}", 3 + 8),
    INTERFACE_ROW(ICoreWebView2NewWindowRequestedEventArgs2,
                  L"{BBC7BAED-74C6-4C92-B63A-7F5AEAE03DE3}", 11 + 1),
    INTERFACE_ROW(ICoreWebView2NewWindowRequestedEventArgs3,
                  L"{842BED3C-6AD6-4DD9-B938-28C96667AD66}", 12 + 1),
    INTERFACE_ROW(ICoreWebView2FrameInfo, L"{DA86B8A1-BDF3-4F11-9955-528CEFA59727}", 3 + 2),
    INTERFACE_ROW(ICoreWebView2ProcessFailedEventArgs, L"{8155A9A4-1474-4A86-8CAE-151B0FA6B8CA}",
                  3 + 1),
    INTERFACE_ROW(ICoreWebView2PermissionRequestedEventArgs,
                  L"{973AE2EF-FF18-4894-8FB2-3C758F046810}", 3 + 6),
    INTERFACE_ROW(ICoreWebView2Settings, L"{E562E4F0-D7FA-43AC-8D71-C05150499F00}", 3 + 18),
    INTERFACE_ROW(ICoreWebView2Settings2, L"{EE9A0F68-F46C-4E32-AC23-EF8CAC224D2A}", 21 + 2),
    INTERFACE_ROW(ICoreWebView2Settings3, L"{FDB5AB74-AF33-4854-84F0-0A631DEB5EBA}", 23 + 2),
    INTERFACE_ROW(ICoreWebView2Settings4, L"{CB56846C-4168-4D53-B04F-03B6D6796FF2}", 25 + 4),
    INTERFACE_ROW(ICoreWebView2Settings5, L"{183E7052-1D03-43A0-AB99-98E043B66B39}", 29 + 2),
    INTERFACE_ROW(ICoreWebView2Settings6, L"{11CB3ACD-9BC8-43B8-83BF-F40753714F87}", 31 + 2),
    INTERFACE_ROW(ICoreWebView2Settings7, L"{488DC902-35EF-42D2-BC7D-94B65C4BC49C}", 33 + 2),
    INTERFACE_ROW(ICoreWebView2Settings8, L"{9E6B0E8F-86AD-4E81-8147-A9B5EDB68650}", 35 + 2),
    INTERFACE_ROW(ICoreWebView2, L"{76ECEACB-0462-4D94-AC83-423A6793775E}", 3 + 58),
    INTERFACE_ROW(ICoreWebView2_2, L"{9E8F0CF8-E670-4B5E-B2BC-73E061E3184C}", 61 + 7),
    INTERFACE_ROW(ICoreWebView2_3, L"{A0D6DF20-3B92-416D-AA0C-437A9C727857}", 68 + 5),
    INTERFACE_ROW(ICoreWebView2_4, L"{20D02D59-6DF2-42DC-BD06-F98A694B1302}", 73 + 4),
    INTERFACE_ROW(ICoreWebView2_5, L"{BEDB11B8-D63C-11EB-B8BC-0242AC130003}", 77 + 2),
    INTERFACE_ROW(ICoreWebView2_6, L"{499AADAC-D92C-4589-8A75-111BFC167795}", 79 + 1),
    INTERFACE_ROW(ICoreWebView2_7, L"{79C24D83-09A3-45AE-9418-487F32A58740}", 80 + 1),
    INTERFACE_ROW(ICoreWebView2_8, L"{E9632730-6E1E-43AB-B7B8-7B2C9E62E094}", 81 + 7),
    INTERFACE_ROW(ICoreWebView2_9, L"{4D7B2EAB-9FDC-468D-B998-A9260B5ED651}", 88 + 9),
    INTERFACE_ROW(ICoreWebView2_10, L"{B1690564-6F5A-4983-8E48-31D1143FECDB}", 97 + 2),
    INTERFACE_ROW(ICoreWebView2_11, L"{0BE78E56-C193-4051-B943-23B460C08BDB}", 99 + 3),
    INTERFACE_ROW(ICoreWebView2_12, L"{35D69927-BCFA-4566-9349-6B3E0D154CAC}", 102 + 3),
    INTERFACE_ROW(ICoreWebView2_13, L"{F75F09A8-667E-4983-88D6-C8773F315E84}", 105 + 1),
    INTERFACE_ROW(ICoreWebView2_14, L"{6DAA4F10-4A90-4753-8898-77C5DF534165}", 106 + 3),
    INTERFACE_ROW(ICoreWebView2_15, L"{517B2D1D-7DAE-4A66-A4F4-10352FFB9518}", 109 + 4),
    INTERFACE_ROW(ICoreWebView2_16, L"{0EB34DC9-9F91-41E1-8639-95CD5943906B}", 113 + 3),
    INTERFACE_ROW(ICoreWebView2_17, L"{702E75D4-FD44-434D-9D70-1A68A6B1192A}", 116 + 1),
    INTERFACE_ROW(ICoreWebView2_18, L"{7A626017-28BE-49B2-B865-3BA2B3522D90}", 117 + 2),
    INTERFACE_ROW(ICoreWebView2_19, L"{6921F954-79B0-437F-A997-C85811897C68}", 119 + 2),
    INTERFACE_ROW(ICoreWebView2_20, L"{B4BC1926-7305-11EE-B962-0242AC120002}", 121 + 1),
    INTERFACE_ROW(ICoreWebView2_21, L"{C4980DEA-587B-43B9-8143-3EF3BF552D95}", 122 + 1),
    // AddWebResourceRequestedFilterWithRequestSourceKinds is slot 123.
    INTERFACE_ROW(ICoreWebView2_22, L"{DB75DFC7-A857-4632-A398-6969DDE26C0A}", 123 + 2),
    INTERFACE_ROW(ICoreWebView2Frame, L"{F1131A5E-9BA9-11EB-A8B3-0242AC130003}", 3 + 8),
    INTERFACE_ROW(ICoreWebView2Frame2, L"{7A6A5834-D185-4DBF-B63F-4A9BC43107D4}", 11 + 13),
    INTERFACE_ROW(ICoreWebView2FrameCreatedEventArgs, L"{4D6E7B5E-9BAA-11EB-A8B3-0242AC130003}",
                  3 + 1),
    INTERFACE_ROW(ICoreWebView2FrameCreatedEventHandler, L"{38059770-9BAA-11EB-A8B3-0242AC130003}",
                  3 + 1),
    INTERFACE_ROW(ICoreWebView2FrameDestroyedEventHandler,
                  L"{59DD7B4C-9BAA-11EB-A8B3-0242AC130003}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2FrameNavigationStartingEventHandler,
                  L"{E79908BF-2D5D-4968-83DB-263FEA2C1DA3}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2FrameWebMessageReceivedEventHandler,
                  L"{E371E005-6D1D-4517-934B-A8F1629C62A5}", 3 + 1),
    // Of nineteen we declare up to get_Uri.
    INTERFACE_ROW(ICoreWebView2DownloadOperation, L"{3D6B6CF2-AFE1-44C7-A995-C65117714336}", 3 + 7),
    INTERFACE_ROW(ICoreWebView2DownloadStartingEventArgs, L"{E99BBE21-43E9-4544-A732-282764EAFA60}",
                  3 + 8),
    INTERFACE_ROW(ICoreWebView2DownloadStartingEventHandler,
                  L"{EFEDC989-C396-41CA-83F7-07F845A55724}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2Controller, L"{4D00C0D1-9434-4EB6-8078-8697A560334F}", 3 + 23),
    // Of five we declare up to get_BrowserVersionString.
    INTERFACE_ROW(ICoreWebView2Environment, L"{B96D755E-0319-4E92-A296-23436F46A1FC}", 3 + 3),
    INTERFACE_ROW(ICoreWebView2EnvironmentOptions, L"{2FDE08A8-1E9A-4766-8C05-95A9CEB9D1C5}",
                  3 + 8),
    INTERFACE_ROW(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                  L"{4E8A3389-C9D8-4BD2-B6B5-124FEE6CC14D}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                  L"{6C4819F3-C9B7-4260-8127-C9F5BDE7F68C}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2WebResourceRequestedEventHandler,
                  L"{AB00B74C-15F1-4646-80E8-E76341D25D71}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2WebMessageReceivedEventHandler,
                  L"{57213F19-00E6-49FA-8E07-898EA01ECBD2}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2NavigationStartingEventHandler,
                  L"{9ADBE429-F36D-432B-9DDC-F8881FBD76E3}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2NavigationCompletedEventHandler,
                  L"{D33A35BF-1C49-4F98-93AB-006E0533FE1C}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2NewWindowRequestedEventHandler,
                  L"{D4C185FE-C81C-4989-97AF-2D3FA7AB5651}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2PermissionRequestedEventHandler,
                  L"{15E1C6A3-C72A-4DF3-91D7-D097FBEC6BFD}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2DocumentTitleChangedEventHandler,
                  L"{F5F2B923-953E-4042-9F95-F3A118E1AFD4}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2ProcessFailedEventHandler, L"{79E0AEA4-990B-42D9-AA1D-0FCC2E5BC7F1}",
                  3 + 1),
    INTERFACE_ROW(ICoreWebView2DOMContentLoadedEventHandler,
                  L"{4BAC7E9C-199E-49ED-87ED-249303ACF019}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler,
                  L"{B99369F3-9B11-47B5-BC6F-8E7895FCEA17}", 3 + 1),
    INTERFACE_ROW(ICoreWebView2ExecuteScriptCompletedHandler,
                  L"{49511172-CC67-4BCA-9923-137112F4C4CC}", 3 + 1),
};

std::wstring IidText(const IID& iid) {
  wchar_t text[40] = {};
  return StringFromGUID2(iid, text, 40) > 0 ? std::wstring(text) : std::wstring();
}

TEST(WebView2Interfaces, IdsAndSlotCountsMatchThePublishedAbi) {
  for (const auto& row : Published) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(IidText(row.Iid), row.PublishedIid);
    EXPECT_EQ(WebView2VtableSlots(row.Name), row.Slots);
  }
}

TEST(WebView2Interfaces, EveryDeclaredInterfaceIsInThePublishedTable) {
  EXPECT_EQ(WebView2DeclaredInterfaceCount(), std::size(Published));
}

// The ids that the linker sees (IID_*) are the same as the ones __uuidof gives.
TEST(WebView2Interfaces, LinkedIdsAgreeWithUuidOf) {
  EXPECT_TRUE(IsEqualIID(IID_ICoreWebView2, __uuidof(ICoreWebView2)));
  EXPECT_TRUE(IsEqualIID(IID_ICoreWebView2Settings8, __uuidof(ICoreWebView2Settings8)));
  EXPECT_TRUE(
      IsEqualIID(IID_ICoreWebView2EnvironmentOptions, __uuidof(ICoreWebView2EnvironmentOptions)));
}

}  // namespace
