/* The vtable size of each declared interface, seen through the C declarations that widl
 * generates (the C++ classes hide their vtables). */
#include <string.h>

#include "WebView2.h"

#define SLOTS(name) \
  { #name, sizeof(name##Vtbl) / sizeof(void*) }

static const struct {
  const char* name;
  size_t slots;
} Slots[] = {
    SLOTS(ICoreWebView2Deferral),
    SLOTS(ICoreWebView2HttpRequestHeaders),
    SLOTS(ICoreWebView2HttpHeadersCollectionIterator),
    SLOTS(ICoreWebView2WebResourceRequest),
    SLOTS(ICoreWebView2WebResourceResponse),
    SLOTS(ICoreWebView2WebResourceRequestedEventArgs),
    SLOTS(ICoreWebView2WebMessageReceivedEventArgs),
    SLOTS(ICoreWebView2NavigationStartingEventArgs),
    SLOTS(ICoreWebView2NavigationCompletedEventArgs),
    SLOTS(ICoreWebView2NewWindowRequestedEventArgs),
    SLOTS(ICoreWebView2NewWindowRequestedEventArgs2),
    SLOTS(ICoreWebView2NewWindowRequestedEventArgs3),
    SLOTS(ICoreWebView2FrameInfo),
    SLOTS(ICoreWebView2ProcessFailedEventArgs),
    SLOTS(ICoreWebView2PermissionRequestedEventArgs),
    SLOTS(ICoreWebView2Settings),
    SLOTS(ICoreWebView2Settings2),
    SLOTS(ICoreWebView2Settings3),
    SLOTS(ICoreWebView2Settings4),
    SLOTS(ICoreWebView2Settings5),
    SLOTS(ICoreWebView2Settings6),
    SLOTS(ICoreWebView2Settings7),
    SLOTS(ICoreWebView2Settings8),
    SLOTS(ICoreWebView2),
    SLOTS(ICoreWebView2_2),
    SLOTS(ICoreWebView2_3),
    SLOTS(ICoreWebView2_4),
    SLOTS(ICoreWebView2_5),
    SLOTS(ICoreWebView2_6),
    SLOTS(ICoreWebView2_7),
    SLOTS(ICoreWebView2_8),
    SLOTS(ICoreWebView2_9),
    SLOTS(ICoreWebView2_10),
    SLOTS(ICoreWebView2_11),
    SLOTS(ICoreWebView2_12),
    SLOTS(ICoreWebView2_13),
    SLOTS(ICoreWebView2_14),
    SLOTS(ICoreWebView2_15),
    SLOTS(ICoreWebView2_16),
    SLOTS(ICoreWebView2_17),
    SLOTS(ICoreWebView2_18),
    SLOTS(ICoreWebView2_19),
    SLOTS(ICoreWebView2_20),
    SLOTS(ICoreWebView2_21),
    SLOTS(ICoreWebView2_22),
    SLOTS(ICoreWebView2Frame),
    SLOTS(ICoreWebView2Frame2),
    SLOTS(ICoreWebView2FrameCreatedEventArgs),
    SLOTS(ICoreWebView2FrameCreatedEventHandler),
    SLOTS(ICoreWebView2FrameDestroyedEventHandler),
    SLOTS(ICoreWebView2FrameNavigationStartingEventHandler),
    SLOTS(ICoreWebView2FrameWebMessageReceivedEventHandler),
    SLOTS(ICoreWebView2DownloadOperation),
    SLOTS(ICoreWebView2DownloadStartingEventArgs),
    SLOTS(ICoreWebView2DownloadStartingEventHandler),
    SLOTS(ICoreWebView2Controller),
    SLOTS(ICoreWebView2Environment),
    SLOTS(ICoreWebView2EnvironmentOptions),
    SLOTS(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler),
    SLOTS(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler),
    SLOTS(ICoreWebView2WebResourceRequestedEventHandler),
    SLOTS(ICoreWebView2WebMessageReceivedEventHandler),
    SLOTS(ICoreWebView2NavigationStartingEventHandler),
    SLOTS(ICoreWebView2NavigationCompletedEventHandler),
    SLOTS(ICoreWebView2NewWindowRequestedEventHandler),
    SLOTS(ICoreWebView2PermissionRequestedEventHandler),
    SLOTS(ICoreWebView2DocumentTitleChangedEventHandler),
    SLOTS(ICoreWebView2ProcessFailedEventHandler),
    SLOTS(ICoreWebView2DOMContentLoadedEventHandler),
    SLOTS(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler),
    SLOTS(ICoreWebView2ExecuteScriptCompletedHandler),
};

/* Slots of the named interface, IUnknown's three included; 0 when it is not declared. */
size_t WebView2VtableSlots(const char* name) {
  for (size_t i = 0; i < sizeof(Slots) / sizeof(Slots[0]); ++i)
    if (strcmp(Slots[i].name, name) == 0) return Slots[i].slots;
  return 0;
}

size_t WebView2DeclaredInterfaceCount(void) {
  return sizeof(Slots) / sizeof(Slots[0]);
}
