/* Defines the interface ids that WebView2.h declares. */
#include <initguid.h>

#include "WebView2.h"
