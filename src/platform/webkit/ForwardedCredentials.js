// Tells the runtime the credentials mode of an application document's cross-origin fetch and
// XHR, which the runtime makes again for the page (NetForwarder): WebKit says it nowhere the
// runtime can see. A request in the mode "include" (fetch's `credentials: "include"`, XHR's
// withCredentials) to a web server gets the header `name: include`; nothing else changes.
// Evaluated by the web-process extension before any page script, when the application's
// arguments ask for cross-origin reads. Whatever a page does to this script or the header, it
// only asks for its own request what `credentials: "include"` would: without the header the
// runtime sends no cookies.
(function (origin, name) {
  'use strict';
  if (typeof location === 'undefined' || location.origin !== origin) return;
  const apply = Reflect.apply;
  const NativeURL = URL;

  // An absolute http(s) address: another origin, which the runtime reads for the page.
  function web(url) {
    try {
      const base = typeof document !== 'undefined' ? document.baseURI : location.href;
      const protocol = new NativeURL(url, base).protocol;
      return protocol === 'http:' || protocol === 'https:';
    } catch (e) {
      return false;
    }
  }

  const nativeFetch = globalThis.fetch;
  const NativeRequest = globalThis.Request;
  const NativeHeaders = globalThis.Headers;
  if (typeof nativeFetch === 'function' && typeof NativeRequest === 'function') {
    globalThis.fetch = function fetch(input, init) {
      let request;
      try {
        request = new NativeRequest(input, init);
      } catch (e) {
        return apply(nativeFetch, this, [input, init]);  // fails as the page's call would
      }
      if (request.credentials === 'include' && request.mode === 'cors' && web(request.url)) {
        const headers = new NativeHeaders(request.headers);
        headers.set(name, 'include');
        request = new NativeRequest(request, {headers});
      }
      return apply(nativeFetch, this, [request]);
    };
  }

  const xhr = typeof XMLHttpRequest === 'function' ? XMLHttpRequest.prototype : null;
  const credentialsProperty = xhr && Object.getOwnPropertyDescriptor(xhr, 'withCredentials');
  if (credentialsProperty && typeof credentialsProperty.get === 'function') {
    const proto = xhr;
    const open = proto.open;
    const send = proto.send;
    const setRequestHeader = proto.setRequestHeader;
    const withCredentials = credentialsProperty.get;
    const targets = new WeakMap();
    const remember = WeakMap.prototype.set;
    const recall = WeakMap.prototype.get;
    proto.open = function open_(method, url) {
      apply(remember, targets, [this, arguments.length > 1 && web(url)]);
      return apply(open, this, arguments);
    };
    proto.send = function send_() {
      if (apply(recall, targets, [this]) && apply(withCredentials, this, [])) {
        try {
          apply(setRequestHeader, this, [name, 'include']);
        } catch (e) {
          // Not opened: send fails on its own.
        }
      }
      return apply(send, this, arguments);
    };
  }
})
