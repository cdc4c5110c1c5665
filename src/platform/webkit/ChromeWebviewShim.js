// Defines window.chrome.webview in every frame, so the window.vlx script is the same on every
// platform. Evaluated by the web-process extension before any page script; `post` is the
// native function that hands a message (JSON text) and this document's delivery function to
// the runtime. Replies come back as MessageEvents whose data is the parsed JSON.
(function (post) {
  'use strict';
  const stringify = JSON.stringify;
  const parse = JSON.parse;
  const listeners = [];
  const webview = {
    postMessage(message) {
      post(stringify(message), deliver);
    },
    addEventListener(type, listener) {
      if (type === 'message' && typeof listener === 'function' && !listeners.includes(listener)) {
        listeners.push(listener);
      }
    },
    removeEventListener(type, listener) {
      if (type !== 'message') return;
      const i = listeners.indexOf(listener);
      if (i >= 0) listeners.splice(i, 1);
    },
  };
  function deliver(json) {
    const event = new MessageEvent('message', {data: parse(json)});
    for (const listener of listeners.slice()) {
      try {
        listener.call(webview, event);
      } catch (e) {
        setTimeout(() => { throw e; });  // report like any event listener error
      }
    }
  }
  if (typeof window.chrome !== 'object' || window.chrome === null) window.chrome = {};
  Object.defineProperty(window.chrome, 'webview', {value: webview, enumerable: true});
})
