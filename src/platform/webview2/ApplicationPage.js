// Runs in every frame before the page's scripts (WebView2's document-created script). Pages
// written for the runtime address package files as "file:///name"; their documents live at the
// application origin, and Chromium refuses "file:" URLs to documents of any other scheme. So in
// documents of the application origin, and only there, every "file:///" URL the page hands to
// the browser becomes the same path at the origin, as the Linux side maps "file:" onto its
// package scheme: fetch and XHR, workers, new windows, and the URL attributes of elements,
// whether a script sets them or the parser does (a mutation observer sees the parser's elements
// before a script among them runs). What is not seen here: "file:///" inside style sheets,
// static module imports, and assignments to location.
(function (origin) {
  'use strict';
  if (typeof location === 'undefined' || location.origin !== origin) return;

  const prefix = 'file:///';
  const apply = Reflect.apply;
  const toLower = String.prototype.toLowerCase;
  const slice = String.prototype.slice;
  const NativeString = String;

  function isFileUrl(value) {
    return typeof value === 'string' && apply(toLower, apply(slice, value, [0, 8]), []) === prefix;
  }
  // "file:///x" → origin + "/x"; anything else as it is.
  function mapped(value) {
    if (value === undefined || value === null || typeof value === 'function') return value;
    const text = typeof value === 'string' ? value : NativeString(value);
    return isFileUrl(text) ? origin + '/' + apply(slice, text, [8]) : value;
  }
  // A srcset lists several URLs.
  function mappedList(value) {
    if (typeof value !== 'string' || apply(toLower, value, []).indexOf(prefix) < 0) return value;
    return value.replace(/file:\/\/\//gi, origin + '/');
  }

  function wrapMethod(holder, name, make) {
    if (!holder) return;
    const original = holder[name];
    if (typeof original !== 'function') return;
    holder[name] = make(original);
  }

  // fetch: a URL, or a Request made for one.
  wrapMethod(globalThis, 'fetch', (fetch) => function fetch_(input, init) {
    if (typeof Request === 'function' && input instanceof Request) {
      if (isFileUrl(input.url)) input = new Request(mapped(input.url), input);
    } else {
      input = mapped(input);
    }
    return apply(fetch, this, [input, init]);
  });
  if (typeof XMLHttpRequest === 'function') {
    wrapMethod(XMLHttpRequest.prototype, 'open', (open) => function open_(method, url) {
      const args = Array.prototype.slice.call(arguments);
      if (args.length > 1) args[1] = mapped(url);
      return apply(open, this, args);
    });
  }
  wrapMethod(globalThis, 'open', (open) => function open_(url) {
    const args = Array.prototype.slice.call(arguments);
    if (args.length > 0) args[0] = mapped(url);
    return apply(open, this, args);
  });
  // Constructors keep their prototype, so instanceof and subclasses still work.
  function wrapConstructor(name) {
    const Native = globalThis[name];
    if (typeof Native !== 'function') return;
    const Wrapped = new Proxy(Native, {
      construct(target, args, newTarget) {
        const copy = Array.prototype.slice.call(args);
        if (copy.length > 0) copy[0] = mapped(copy[0]);
        return Reflect.construct(target, copy, newTarget === Wrapped ? target : newTarget);
      },
    });
    globalThis[name] = Wrapped;
  }
  wrapConstructor('Worker');
  wrapConstructor('SharedWorker');
  wrapConstructor('EventSource');
  if (typeof navigator !== 'undefined' && navigator.serviceWorker) {
    const container = Object.getPrototypeOf(navigator.serviceWorker);
    wrapMethod(container, 'register', (register) => function register_(url, options) {
      return apply(register, this, [mapped(url), options]);
    });
  }

  // URL attributes: through the properties and setAttribute, and as the parser sets them.
  const urlAttributes = ['src', 'href', 'action', 'formaction', 'poster', 'data', 'background'];
  const listAttributes = ['srcset'];
  function mappedAttribute(name, value) {
    const lower = apply(toLower, NativeString(name), []);
    if (urlAttributes.indexOf(lower) >= 0) return mapped(value);
    if (listAttributes.indexOf(lower) >= 0) return mappedList(value);
    return value;
  }
  if (typeof Element === 'function') {
    wrapMethod(Element.prototype, 'setAttribute', (setAttribute) =>
      function setAttribute_(name, value) {
        return apply(setAttribute, this, [name, mappedAttribute(name, value)]);
      });
  }
  const properties = [
    ['HTMLImageElement', 'src'], ['HTMLImageElement', 'srcset'], ['HTMLScriptElement', 'src'],
    ['HTMLLinkElement', 'href'], ['HTMLIFrameElement', 'src'], ['HTMLFrameElement', 'src'],
    ['HTMLMediaElement', 'src'], ['HTMLSourceElement', 'src'], ['HTMLSourceElement', 'srcset'],
    ['HTMLTrackElement', 'src'], ['HTMLAnchorElement', 'href'], ['HTMLAreaElement', 'href'],
    ['HTMLBaseElement', 'href'], ['HTMLFormElement', 'action'], ['HTMLInputElement', 'src'],
    ['HTMLInputElement', 'formAction'], ['HTMLButtonElement', 'formAction'],
    ['HTMLEmbedElement', 'src'], ['HTMLObjectElement', 'data'], ['HTMLVideoElement', 'poster'],
  ];
  for (const [type, name] of properties) {
    const proto = typeof globalThis[type] === 'function' ? globalThis[type].prototype : null;
    const descriptor = proto && Object.getOwnPropertyDescriptor(proto, name);
    if (!descriptor || typeof descriptor.set !== 'function') continue;
    const set = descriptor.set;
    const list = listAttributes.indexOf(apply(toLower, name, [])) >= 0;
    descriptor.set = function set_(value) {
      return apply(set, this, [list ? mappedList(value) : mapped(value)]);
    };
    Object.defineProperty(proto, name, descriptor);
  }

  // Elements the parser (or innerHTML) made: their attributes are set without a script.
  function fix(element) {
    if (!element || element.nodeType !== 1 || !element.hasAttributes()) return;
    for (const name of urlAttributes.concat(listAttributes)) {
      const value = element.getAttribute(name);
      if (value === null) continue;
      const changed = mappedAttribute(name, value);
      if (changed === value) continue;
      element.setAttribute(name, changed);
      // A <source> chosen before the change is not looked at again.
      const parent = element.parentNode;
      if (apply(toLower, element.localName, []) === 'source' && parent &&
          typeof parent.load === 'function' && !parent.currentSrc) {
        parent.load();
      }
    }
  }
  function fixTree(node) {
    fix(node);
    if (node && typeof node.querySelectorAll === 'function') {
      const found = node.querySelectorAll('[src],[href],[action],[formaction],[poster],[data],' +
                                          '[background],[srcset]');
      for (let i = 0; i < found.length; ++i) fix(found[i]);
    }
  }
  if (typeof MutationObserver === 'function' && typeof document !== 'undefined') {
    new MutationObserver((records) => {
      for (const record of records) {
        if (record.type === 'attributes') {
          fix(record.target);
        } else {
          for (let i = 0; i < record.addedNodes.length; ++i) fixTree(record.addedNodes[i]);
        }
      }
    }).observe(document, {
      childList: true,
      subtree: true,
      attributes: true,
      attributeFilter: urlAttributes.concat(listAttributes),
    });
  }
})
