// Runs in every frame before the page's scripts (the web-process extension evaluates it, once
// per document). WebKit tells the runtime which view asks for a new window or a permission, not
// which frame, so the web process tells it first:
// - around every call that can open a window (window.open, document.open with three
//   arguments), that this frame opens one (`opening(true)`, then `opening(false)`). The
//   extension decides natively whether the frame's document is the application's; the runtime
//   starts an instance of the application only for a window asked for in between by such a
//   document. What this script wraps decides nothing: a call that goes round it announces
//   nothing, and a window that nobody announced never starts the application;
// - which frame asks for the clipboard, its stored data and protected media (the engine itself
//   refuses notifications to frames of other origins, and the camera, the microphone and the
//   location unless the page delegates them): every frame of an application page announces
//   such a request to the runtime (`intend(kind)`, which names the frame from the web process,
//   where a page cannot forge it) before the engine passes the request on, and the runtime
//   refuses a request that nobody announced.
// `pageIsApplication` tells whether the top document is the application's.
(function (pageIsApplication, intend, opening) {
  'use strict';
  const apply = Reflect.apply;
  const getDescriptor = Object.getOwnPropertyDescriptor;
  const defineProperty = Object.defineProperty;
  const getPrototypeOf = Object.getPrototypeOf;
  const hasOwn = Object.prototype.hasOwnProperty;
  const NativeString = String;
  const theWindow = window;
  const toLower = String.prototype.toLowerCase;

  // Replaces `name` on the object of `holder`'s chain that owns it.
  function wrap(holder, name, make) {
    for (let o = holder; o; o = getPrototypeOf(o)) {
      if (!apply(hasOwn, o, [name])) continue;
      const d = getDescriptor(o, name);
      if (typeof d.value !== 'function') return;
      d.value = make(d.value);
      defineProperty(o, name, d);
      return;
    }
  }

  // The window, if any, is asked for inside the call.
  function opens(open, self, args) {
    opening(true);
    try {
      return apply(open, self, args);
    } finally {
      opening(false);
    }
  }
  wrap(theWindow, 'open', (open) => function open_(url, target, features) {
    return opens(open, theWindow, arguments);
  });
  // document.open with three arguments is window.open.
  wrap(Document.prototype, 'open', (open) => function open_() {
    return arguments.length >= 3 ? opens(open, this, arguments) : apply(open, this, arguments);
  });
  wrap(Document.prototype, 'execCommand', (execCommand) => function execCommand_(command) {
    if (pageIsApplication() && apply(toLower, NativeString(command), []) === 'paste') {
      intend('clipboard');
    }
    return apply(execCommand, this, arguments);
  });

  // The runtime is told, just before, which document asks for a permission: WebKit names only
  // the view when it passes the request on. The call itself runs at once, within the user's
  // gesture where the engine needs one.
  function announced(kind) {
    return (original) => function announcing() {
      if (pageIsApplication()) intend(kind);
      return apply(original, this, arguments);
    };
  }
  if (typeof Clipboard === 'function') {
    wrap(Clipboard.prototype, 'read', announced('clipboard'));
    wrap(Clipboard.prototype, 'readText', announced('clipboard'));
  }
  wrap(Document.prototype, 'requestStorageAccess', announced('storage-access'));
  if (typeof Navigator === 'function') {
    wrap(Navigator.prototype, 'requestMediaKeySystemAccess', announced('protected-media'));
  }
})
