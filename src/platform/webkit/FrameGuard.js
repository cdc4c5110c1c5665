// Runs in every frame before the page's scripts (the web-process extension evaluates it, once
// per document). WebKit tells the runtime which view asks for a new window or a permission, not
// which frame, so a remote frame inside an application page would be granted what the
// application is. Here, where the asking document is known, such a frame:
// - never opens an application page (that would start the application on a file of its
//   choice), and opens other windows only on a user gesture;
// - never reads the clipboard through a paste command, and is asked about the clipboard,
//   notifications, its stored data and protected media with its own origin named.
// Everything the checks need is taken before any page script runs, so a page cannot change
// what they see. `pageIsApplication` tells whether the top document is the application's;
// `ask(kind, done)` asks the runtime and calls done(allowed).
(function (pageIsApplication, ask) {
  'use strict';
  const apply = Reflect.apply;
  const getDescriptor = Object.getOwnPropertyDescriptor;
  const defineProperty = Object.defineProperty;
  const getPrototypeOf = Object.getPrototypeOf;
  const hasOwn = Object.prototype.hasOwnProperty;
  const NativeString = String;
  const NativeURL = URL;
  const NativePromise = Promise;
  const NativeDOMException = DOMException;
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
  const activation = typeof navigator.userActivation === 'object' ? navigator.userActivation : null;
  const isActive = activation ? getterOf(activation, 'isActive') : undefined;
  const toLower = String.prototype.toLowerCase;

  // A document of the application's own origin (the package scheme's, also for the
  // about:blank frames it makes) inside an application page is the application.
  function isForeign() {
    return apply(originOf, theWindow, []) !== 'vlx://' && pageIsApplication();
  }
  function hasUserGesture() {
    return !isActive || apply(isActive, activation, []);
  }
  function isApplicationUrl(url) {
    if (url === undefined || url === '') return false;  // about:blank
    try {
      const protocol = apply(protocolOf, new NativeURL(url, apply(baseOf, theDocument, [])), []);
      return protocol === 'vlx:' || protocol === 'file:' || protocol === 'vlx-net:';
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
    if (isForeign() && apply(toLower, NativeString(command), []) === 'paste') return false;
    return apply(execCommand, this, arguments);
  });

  // A promise-returning function that is asked about first.
  function askFirst(kind) {
    return (original) => function asked() {
      const self = this, args = arguments;
      if (!isForeign()) return apply(original, self, args);
      return new NativePromise((resolve, reject) => {
        ask(kind, (allowed) => {
          if (!allowed) {
            reject(new NativeDOMException('The user did not allow it.', 'NotAllowedError'));
            return;
          }
          try {
            resolve(apply(original, self, args));
          } catch (e) {
            reject(e);
          }
        });
      });
    };
  }
  if (typeof Clipboard === 'function') {
    wrap(Clipboard.prototype, 'read', askFirst('clipboard'));
    wrap(Clipboard.prototype, 'readText', askFirst('clipboard'));
  }
  if (typeof Notification === 'function') {
    wrap(Notification, 'requestPermission', askFirst('notifications'));
  }
  wrap(Document.prototype, 'requestStorageAccess', askFirst('storage-access'));
  if (typeof Navigator === 'function') {
    wrap(Navigator.prototype, 'requestMediaKeySystemAccess', askFirst('protected-media'));
  }
})
