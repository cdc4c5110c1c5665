// Runs in every frame before the page's scripts (the web-process extension evaluates it, once
// per document). WebKit tells the runtime which view asks for a new window or a permission, not
// which frame, so a remote frame inside an application page would be granted what the
// application is. Here, where the asking document is known, such a frame:
// - never opens an application page (that would start the application on a file of its
//   choice), and opens other windows only on a user gesture;
// - is asked about the clipboard, its stored data and protected media with its own origin
//   named (the engine itself refuses notifications to frames of other origins, and the camera,
//   the microphone and the location unless the page delegates them): every frame of an application page announces such a request to the
//   runtime (`intend(kind)`, which names the frame from the web process, where a page cannot
//   forge it) before the engine passes the request on, and the runtime refuses a request that
//   nobody announced.
// Everything the checks need is taken before any page script runs, so a page cannot change
// what they see. `pageIsApplication` tells whether the top document is the application's;
// `developmentOrigin` is the origin of the development server whose pages count as the
// application's in a `velloc run --url` session, else empty.
(function (pageIsApplication, intend, developmentOrigin) {
  'use strict';
  const apply = Reflect.apply;
  const getDescriptor = Object.getOwnPropertyDescriptor;
  const defineProperty = Object.defineProperty;
  const getPrototypeOf = Object.getPrototypeOf;
  const hasOwn = Object.prototype.hasOwnProperty;
  const NativeString = String;
  const NativeURL = URL;
  const theWindow = window;
  const theDocument = document;

  function getterOf(object, name) {
    for (let o = object; o; o = getPrototypeOf(o)) {
      const d = getDescriptor(o, name);
      if (d) return d.get;
    }
    return undefined;
  }
  const originOf = getterOf(theWindow, 'origin');
  const baseOf = getterOf(theDocument, 'baseURI');
  const protocolOf = getterOf(NativeURL.prototype, 'protocol');
  const urlOriginOf = getterOf(NativeURL.prototype, 'origin');
  const activation = typeof navigator.userActivation === 'object' ? navigator.userActivation : null;
  const isActive = activation ? getterOf(activation, 'isActive') : undefined;
  const toLower = String.prototype.toLowerCase;

  // A document of the application's own origin (the package scheme's, also for the
  // about:blank frames it makes) inside an application page is the application.
  function isApplicationOrigin(origin) {
    return origin === 'vlx://' || (developmentOrigin !== '' && origin === developmentOrigin);
  }
  function isForeign() {
    return !isApplicationOrigin(apply(originOf, theWindow, [])) && pageIsApplication();
  }
  function hasUserGesture() {
    return !isActive || apply(isActive, activation, []);
  }
  function isApplicationUrl(url) {
    if (url === undefined || url === '') return false;  // about:blank
    try {
      const parsed = new NativeURL(url, apply(baseOf, theDocument, []));
      const protocol = apply(protocolOf, parsed, []);
      return protocol === 'vlx:' || protocol === 'file:' || protocol === 'vlx-net:' ||
          (developmentOrigin !== '' && apply(urlOriginOf, parsed, []) === developmentOrigin);
    } catch (e) {
      return false;  // not a URL: the real function reports it
    }
  }

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

  function mayOpen(args) {
    if (!isForeign()) return true;
    if (args.length > 0 && args[0] !== undefined) args[0] = NativeString(args[0]);
    return !isApplicationUrl(args[0]) && hasUserGesture();
  }
  wrap(theWindow, 'open', (open) => function open_(url, target, features) {
    return mayOpen(arguments) ? apply(open, theWindow, arguments) : null;
  });
  // document.open with three arguments is window.open.
  wrap(Document.prototype, 'open', (open) => function open_() {
    if (arguments.length >= 3 && !mayOpen(arguments)) return null;
    return apply(open, this, arguments);
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
