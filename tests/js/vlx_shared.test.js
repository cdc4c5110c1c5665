// The window.vlx page script against a fake window.chrome.webview.
// Usage: node vlx_shared.test.js path/to/vlx_shared.js
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const vm = require('node:vm');

const scriptPath = process.argv[2];
if (!scriptPath) {
  console.error('usage: node vlx_shared.test.js path/to/vlx_shared.js');
  process.exit(2);
}
const scriptText = fs.readFileSync(scriptPath, 'utf8');

// A page with the script loaded. The fake webview records posted messages the way the platform
// sees them (serialized to JSON) and delivers replies to every "message" listener, as the real
// one does, with the parsed reply as the event's data.
function loadPage() {
  const webview = {
    listeners: [],
    posted: [],
    addEventListener(type, listener) {
      if (type === 'message') this.listeners.push(listener);
    },
    removeEventListener(type, listener) {
      if (type !== 'message') return;
      const at = this.listeners.indexOf(listener);
      if (at >= 0) this.listeners.splice(at, 1);
    },
    postMessage(message) {
      this.posted.push(JSON.parse(JSON.stringify(message)));
    },
    reply(uuid, success, result) {
      const data = JSON.parse(JSON.stringify({ uuid, success, result }));
      for (const listener of [...this.listeners]) listener({ data });
    },
  };
  const page = { chrome: { webview } };
  page.window = page;
  vm.createContext(page);
  vm.runInContext(scriptText, page, { filename: scriptPath });
  return { page, vlx: page.vlx, webview };
}

const settled = (promise) =>
  promise.then((value) => ({ ok: true, value }), (value) => ({ ok: false, value }));

test('members in order, each posting its identifier', () => {
  const { vlx, webview } = loadPage();
  assert.deepStrictEqual(Object.keys(vlx), [
    'call', 'hello', 'isRuntime', 'dialogs', 'files', 'folders', 'app', 'window', 'shell',
    'themes', 'base64', 'system', 'mainMenu', 'registry', 'trayMenu', 'events',
  ]);
  // namespace: member identifier, "+" marking a member that forwards its argument
  const table = {
    dialogs: 'openFile+20001 saveFile+20002 selFolder+20003',
    files: 'fileExists+30001 deleteFile+30002 writeTextFile+30003 extractFile+30004',
    folders: 'dirExists+40001 createDir+40002 deleteDir+40003 listFiles+40004 getTempDir 40005 ' +
      'getUserDocumentsDir 40006 getUserDesktopDir 40007 getAppExecutableDir 40008 getAppDataDir 40009',
    app: 'close 50001 inFullscreen 50002 enterFullscreen 50003 exitFullscreen 50004 getArgs 50005 ' +
      'navigate+50006 checkForUpdate 50007 installUpdate 50008',
    window: 'getStyle 60001 setStyle+60002 getState 60003 setState+60004 getTitle 60005 ' +
      'setTitle+60006 getZoom 60007 setZoom+60008 getSize 60009 setSize+60010 getBorder 60011 ' +
      'setBorder+60012',
    shell: 'execute+70001 explore+70002 command+70003 windows 70004',
    themes: 'getTheme 80001 getThemes 80002 setTheme+80003',
    base64: 'decodeToFile+90001',
    system: 'logoff 11001 reboot 11002 shutdown 11003 macAddresses 11004 notification+11005',
    mainMenu: 'setItems+12001 updateItem+12002',
    registry: 'writeValue+13001 readValue+13002 valueExist+13003 deleteValue+13004 keyExist+13005 ' +
      'deleteKey+13006',
    trayMenu: 'showIcon 14001 hideIcon 14002 setItems+14003 updateItem+14004',
  };
  const args = { marker: 1 };
  for (const [space, spec] of Object.entries(table)) {
    const members = spec.replace(/\+/g, ' + ').split(/\s+/);
    const expectedNames = [];
    for (let i = 0; i < members.length;) {
      const name = members[i++];
      const forwards = members[i] === '+';
      if (forwards) i++;
      const id = Number(members[i++]);
      expectedNames.push(name);
      webview.posted.length = 0;
      vlx[space][name](args);
      const [message] = webview.posted;
      const where = `${space}.${name}`;
      assert.strictEqual(message.id, id, where);
      assert.deepStrictEqual(message.data, forwards ? args : {}, where);
      assert.strictEqual(vlx[space][name].length, forwards ? 1 : 0, where);
    }
    assert.deepStrictEqual(Object.keys(vlx[space]), expectedNames, space);
  }
  webview.posted.length = 0;
  vlx.hello();
  vlx.isRuntime();
  assert.deepStrictEqual(webview.posted.map((m) => [m.id, m.data]), [[10001, {}], [10002, {}]]);
});

test('uuid shape', () => {
  const { vlx, webview } = loadPage();
  for (let i = 0; i < 500; i++) vlx.hello();
  const seen = new Set();
  for (const { uuid } of webview.posted) {
    assert.match(uuid, /^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/);
    seen.add(uuid);
  }
  assert.strictEqual(seen.size, 500);
});

test('uuid digits come from Math.random, y keeping its two low bits', () => {
  const { page, vlx, webview } = loadPage();
  for (const [random, expected] of [
    [0, '00000000-0000-4000-8000-000000000000'],
    [0.999, 'ffffffff-ffff-4fff-bfff-ffffffffffff'],
    [0.45, '77777777-7777-4777-b777-777777777777'],
  ]) {
    vm.runInContext(`Math.random = function () { return ${random}; };`, page);
    webview.posted.length = 0;
    vlx.hello();
    assert.strictEqual(webview.posted[0].uuid, expected);
  }
});

test('back-to-back calls are matched by uuid in any reply order', async () => {
  const { vlx, webview } = loadPage();
  const first = settled(vlx.files.fileExists({ filePath: 'a.txt' }));
  const second = settled(vlx.window.getTitle());
  const third = settled(vlx.hello());
  assert.strictEqual(webview.listeners.length, 1, 'one listener for every pending call');
  const [m1, m2, m3] = webview.posted;
  webview.reply(m3.uuid, true, '2026.10');
  webview.reply(m1.uuid, false, 'Missing filePath');
  webview.reply(m2.uuid, true, 'Title');
  assert.deepStrictEqual(await first, { ok: false, value: 'Missing filePath' });
  assert.deepStrictEqual(await second, { ok: true, value: 'Title' });
  assert.deepStrictEqual(await third, { ok: true, value: '2026.10' });
});

test('a reply settles its call once; stray replies change nothing', async () => {
  const { vlx, webview } = loadPage();
  const pending = settled(vlx.app.inFullscreen());
  const other = settled(vlx.app.getArgs());
  const [mine, theirs] = webview.posted;
  webview.reply('someone-else', true, 'x');
  for (const data of [null, 'text', { uuid: 7 }, { uuid: ['a'] }]) {
    for (const listener of [...webview.listeners]) listener({ data });
  }
  webview.reply(mine.uuid, true, false);
  webview.reply(mine.uuid, true, true);
  assert.strictEqual(webview.listeners.length, 1, 'still listening for the other call');
  webview.reply(theirs.uuid, false, 'no');
  assert.strictEqual(webview.listeners.length, 0, 'no listener once nothing waits');
  assert.deepStrictEqual(await pending, { ok: true, value: false });
  assert.deepStrictEqual(await other, { ok: false, value: 'no' });
});

test('the listener is in place before the message is posted', async () => {
  const { vlx, webview } = loadPage();
  const post = webview.postMessage;
  webview.postMessage = function (message) {
    post.call(this, message);
    this.reply(message.uuid, true, 'immediate');
  };
  assert.strictEqual(await vlx.hello(), 'immediate');
  assert.strictEqual(webview.listeners.length, 0);
});

test('args are forwarded unchanged; without them the data member is absent', () => {
  const { vlx, webview } = loadPage();
  vlx.dialogs.openFile({});
  vlx.dialogs.openFile();
  vlx.files.writeTextFile({ filePath: 'a.txt', contents: 'x\ny' });
  vlx.call(10001);
  const [withEmpty, without, withArgs, bareCall] = webview.posted;
  assert.deepStrictEqual(withEmpty.data, {});
  assert.ok(!('data' in without), 'no data member');
  assert.deepStrictEqual(Object.keys(without), ['id', 'uuid']);
  assert.deepStrictEqual(withArgs.data, { filePath: 'a.txt', contents: 'x\ny' });
  assert.ok(!('data' in bareCall));
});

test('detached: hello fails, app.getArgs works', async () => {
  const { vlx, webview } = loadPage();
  const hello = vlx.hello;
  assert.throws(() => hello());
  const getArgs = vlx.app.getArgs;
  const result = getArgs();
  const [message] = webview.posted;
  assert.strictEqual(message.id, 50005);
  webview.reply(message.uuid, true, ['/opt/app']);
  assert.deepStrictEqual(await result, ['/opt/app']);
});

test('events: default onCloseQuery closes the app, the others do nothing', () => {
  const { page, vlx, webview } = loadPage();
  assert.deepStrictEqual(Object.keys(vlx.events), [
    'onCloseQuery', 'onMainMenuItemClick', 'onTrayMenuItemClick', 'onTrayIconClick',
    'onNotificationClick', 'onSecondInstance', 'onUpdateProgress',
  ]);
  vm.runInContext('vlx.events.onCloseQuery();', page);
  assert.deepStrictEqual(webview.posted.map((m) => [m.id, m.data]), [[50001, {}]]);
  vm.runInContext(
    'vlx.events.onTrayIconClick(); vlx.events.onMainMenuItemClick("7");' +
      'vlx.events.onTrayMenuItemClick("8"); vlx.events.onNotificationClick("n");' +
      'vlx.events.onSecondInstance(["a"]); vlx.events.onUpdateProgress(1, 2);',
    page);
  assert.strictEqual(webview.posted.length, 1);

  vm.runInContext('vlx.events.onCloseQuery = function () {}; vlx.events.onCloseQuery();', page);
  assert.strictEqual(webview.posted.length, 1, 'an empty replacement keeps the window open');
});
