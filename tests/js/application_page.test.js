// The WebView2 page script that maps "file:///" URLs of application pages onto the application
// origin, against a small fake of the browser's objects.
// Usage: node application_page.test.js path/to/ApplicationPage.js
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const vm = require('node:vm');

const scriptPath = process.argv[2];
if (!scriptPath) {
  console.error('usage: node application_page.test.js path/to/ApplicationPage.js');
  process.exit(2);
}
const scriptText = fs.readFileSync(scriptPath, 'utf8');
const origin = 'https://velloc.localhost';

// A page at `pageOrigin` with the script loaded. Every network entry point records the URL it
// got; elements keep attributes; the mutation observer is run by hand, as the parser would
// trigger it.
function loadPage(pageOrigin) {
  const seen = [];
  const observers = [];
  class Element {
    constructor(localName, attributes = {}) {
      this.nodeType = 1;
      this.localName = localName;
      this.attributes = { ...attributes };
      this.children = [];
      this.parentNode = null;
    }
    hasAttributes() { return Object.keys(this.attributes).length > 0; }
    getAttribute(name) { return name in this.attributes ? this.attributes[name] : null; }
    setAttribute(name, value) { this.attributes[name] = String(value); }
    querySelectorAll() {
      const all = [];
      const walk = (node) => {
        for (const child of node.children) {
          all.push(child);
          walk(child);
        }
      };
      walk(this);
      return all;
    }
    appendChild(child) {
      child.parentNode = this;
      this.children.push(child);
      return child;
    }
  }
  class HTMLImageElement extends Element {}
  Object.defineProperty(HTMLImageElement.prototype, 'src', {
    configurable: true,
    get() { return this.getAttribute('src'); },
    set(value) { this.attributes.src = String(value); },
  });
  class HTMLMediaElement extends Element {
    constructor(name, attributes) {
      super(name, attributes);
      this.loads = 0;
      this.currentSrc = '';
    }
    load() { ++this.loads; }
  }
  class Request {
    constructor(url, init) {
      this.url = String(url);
      this.method = (init && init.method) || 'GET';
    }
  }
  class XMLHttpRequest {
    open(method, url) { seen.push(['xhr', method, String(url)]); }
  }
  function Worker(url) { seen.push(['worker', String(url)]); this.url = String(url); }
  Worker.prototype.postMessage = function () {};
  const page = {
    location: { origin: pageOrigin },
    Element,
    HTMLImageElement,
    HTMLMediaElement,
    Request,
    XMLHttpRequest,
    Worker,
    URL,
    fetch(input) {
      seen.push(['fetch', input instanceof Request ? `${input.method} ${input.url}` : String(input)]);
      return Promise.resolve('response');
    },
    open(url, target) { seen.push(['open', String(url), target]); return null; },
    navigator: {},
    document: { nodeType: 9 },
    MutationObserver: class {
      constructor(callback) { this.callback = callback; observers.push(this); }
      observe(node, options) { this.options = options; }
    },
  };
  page.globalThis = page;
  page.window = page;
  vm.createContext(page);
  vm.runInContext(`${scriptText}(${JSON.stringify(origin)});`, page, { filename: scriptPath });
  const parse = (records) => observers.forEach((o) => o.callback(records));
  return { page, seen, parse };
}

test('a page of another origin is left as it is', () => {
  const { page, seen } = loadPage('https://example.com');
  page.fetch('file:///data.json');
  assert.deepStrictEqual(seen, [['fetch', 'file:///data.json']]);
  assert.strictEqual(page.Worker.name, 'Worker');
});

test('fetch, XHR, workers and new windows of application pages go to the origin', () => {
  const { page, seen } = loadPage(origin);
  page.fetch('file:///data.json');
  page.fetch('FILE:///Data%20Set.json?x=1');
  page.fetch(new page.URL('file:///from-url.txt'));
  page.fetch(new page.Request('file:///req.txt', { method: 'POST' }));
  page.fetch('https://example.com/api');
  page.fetch('relative.json');
  new page.XMLHttpRequest().open('GET', 'file:///x.xml', true);
  const worker = new page.Worker('file:///worker.js');
  page.open('file:///page2.html', '_blank');
  assert.deepStrictEqual(seen, [
    ['fetch', `${origin}/data.json`],
    ['fetch', `${origin}/Data%20Set.json?x=1`],
    ['fetch', `${origin}/from-url.txt`],
    ['fetch', `POST ${origin}/req.txt`],
    ['fetch', 'https://example.com/api'],
    ['fetch', 'relative.json'],
    ['xhr', 'GET', `${origin}/x.xml`],
    ['worker', `${origin}/worker.js`],
    ['open', `${origin}/page2.html`, '_blank'],
  ]);
  // The wrapped constructor still makes what the page expects.
  assert.ok(worker instanceof page.Worker);
});

test('URL attributes, set by scripts or by the parser', () => {
  const { page, parse } = loadPage(origin);
  const image = new page.HTMLImageElement('img');
  image.src = 'file:///logo.png';
  assert.strictEqual(image.attributes.src, `${origin}/logo.png`);
  image.setAttribute('SRC', 'file:///other.png');
  assert.strictEqual(image.attributes.SRC, `${origin}/other.png`);
  image.setAttribute('alt', 'file:///not-a-url-attribute');
  assert.strictEqual(image.attributes.alt, 'file:///not-a-url-attribute');

  // What the parser made: the observer sees the elements before a script among them runs.
  const body = new page.Element('body');
  const script = body.appendChild(new page.Element('script', { src: 'file:///main.js' }));
  const link = body.appendChild(new page.Element('a', { href: 'file:///page2.html' }));
  const picture = body.appendChild(
    new page.Element('img', { srcset: 'file:///a.png 1x, file:///b.png 2x' }));
  const video = body.appendChild(new page.HTMLMediaElement('video'));
  const source = video.appendChild(new page.Element('source', { src: 'file:///v.mp4' }));
  const remote = body.appendChild(new page.Element('img', { src: 'https://example.com/x.png' }));
  parse([{ type: 'childList', addedNodes: [body] }]);
  assert.strictEqual(script.attributes.src, `${origin}/main.js`);
  assert.strictEqual(link.attributes.href, `${origin}/page2.html`);
  assert.strictEqual(picture.attributes.srcset, `${origin}/a.png 1x, ${origin}/b.png 2x`);
  assert.strictEqual(source.attributes.src, `${origin}/v.mp4`);
  // A <source> already passed over is looked at again.
  assert.strictEqual(video.loads, 1);
  assert.strictEqual(remote.attributes.src, 'https://example.com/x.png');

  // An attribute changed later, through the DOM's own way in.
  link.attributes.href = 'file:///page3.html';
  parse([{ type: 'attributes', target: link }]);
  assert.strictEqual(link.attributes.href, `${origin}/page3.html`);
});
