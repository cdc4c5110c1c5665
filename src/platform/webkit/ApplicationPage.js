// What an application document gets of an https page that WebKit does not give it. Evaluated by
// the web-process extension before the page's scripts, in application documents only.
// - document.cookie, in package documents: WebKit keeps no cookies for the package scheme.
//   `read` and `write` are the extension's native functions, which take the document's address
//   in the web process and keep the cookies in the application's data
//   (platform/linux/SqliteCookieJar.h); null in the development server's pages, whose cookies
//   are WebKit's own.
// - Notification.requestPermission() answers with the permission as it stands once it is
//   decided, as the standard says: application pages are granted notifications from the start,
//   and WebKit would answer "denied" to a request made outside a click.
(function (read, write) {
  'use strict';
  const apply = Reflect.apply;
  const NativeString = String;
  const NativePromise = Promise;
  const resolve = Promise.resolve;
  const later = setTimeout;
  if (read && write) {
    Object.defineProperty(document, 'cookie', {
      get: function cookie() { return read(); },
      set: function cookie(text) { write(NativeString(text)); },
      enumerable: true,
      configurable: false,
    });
  }
  if (typeof Notification === 'function' && typeof Notification.requestPermission === 'function') {
    const TheNotification = Notification;
    const request = Notification.requestPermission;
    Object.defineProperty(Notification, 'requestPermission', {
      value: function requestPermission(callback) {
        // A fact the page could only lie to itself about: what it may do is WebKit's to check.
        const state = TheNotification.permission;
        if (state !== 'granted' && state !== 'denied') {
          return apply(request, TheNotification, arguments);
        }
        if (typeof callback === 'function') later(() => callback(state), 0);
        return apply(resolve, NativePromise, [state]);
      },
      writable: true,
      configurable: true,
    });
  }
})
