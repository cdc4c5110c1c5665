// Calls every function of window.vlx as an application would; compiled with tsc --strict
// against vlx.d.ts. The @ts-expect-error lines are calls the typings must refuse.

async function everyFunction(): Promise<void> {
  const version: string = await vlx.hello();
  const runtime: boolean = await window.vlx.isRuntime();
  const raw: unknown = await vlx.call(10001, {});

  const opened: string = await vlx.dialogs.openFile({ title: 'Open', fileTypes: 'Text|*.txt' });
  const saved: string = await vlx.dialogs.saveFile({ fileName: 'a.txt', overwritePrompt: true });
  const folder: string = await vlx.dialogs.selFolder({});

  const exists: boolean = await vlx.files.fileExists({ filePath: 'data/x.txt' });
  const deleted: boolean = await vlx.files.deleteFile({ filePath: 'data/x.txt' });
  const written: true = await vlx.files.writeTextFile({ filePath: 'data/x.txt', contents: 'a\nb' });
  await vlx.files.extractFile({ sourceFile: '/img/logo.png', targetFile: '/tmp/logo.png' });

  const dir: boolean = await vlx.folders.dirExists({ dirPath: 'data' });
  await vlx.folders.createDir({ dirPath: 'data' });
  await vlx.folders.deleteDir({ dirPath: 'data' });
  const files: string[] = await vlx.folders.listFiles({ dirPath: '.', fileMask: '*.*', allDirs: true });
  const folders: string[] = await Promise.all([
    vlx.folders.getTempDir(), vlx.folders.getUserDocumentsDir(), vlx.folders.getUserDesktopDir(),
    vlx.folders.getAppExecutableDir(), vlx.folders.getAppDataDir(),
  ]);

  const fullscreen: boolean = await vlx.app.inFullscreen();
  await vlx.app.enterFullscreen();
  await vlx.app.exitFullscreen();
  const args: string[] = await vlx.app.getArgs();
  await vlx.app.navigate({ url: 'file:///index.html' });
  const update: VlxUpdateCheck = await vlx.app.checkForUpdate();
  if (update.available && !update.rolledBack) await vlx.app.installUpdate();
  vlx.events.onUpdateProgress = (received: number, total: number) => console.log(received / total);

  const style: 'ontop' | 'normal' = await vlx.window.getStyle();
  await vlx.window.setStyle({ style: 'ontop' });
  const state: VlxWindowState = await vlx.window.getState();
  await vlx.window.setState({ state: 'maximized' });
  const title: string = await vlx.window.getTitle();
  await vlx.window.setTitle({ title: 'Hello' });
  const zoom: string = await vlx.window.getZoom();
  const zoomed: boolean = await vlx.window.setZoom({ factor: 1.25 });
  const rect: VlxWindowRect = await vlx.window.getSize();
  await vlx.window.setSize({ width: rect.width + 10, height: '600' });
  const border: VlxBorderName = await vlx.window.getBorder();
  await vlx.window.setBorder({ border: 'dialog' });

  await vlx.shell.execute({ filePath: 'xdg-open', arguments: 'https://example.org' });
  await vlx.shell.explore({ filePath: '/tmp' });
  const output: string = await vlx.shell.command({ command: 'ls', workingDir: '/', showWindow: false });
  const titles: string[] = await vlx.shell.windows();

  const theme: VlxThemeName = await vlx.themes.getTheme();
  const themes: VlxThemeName[] = await vlx.themes.getThemes();
  const themed: boolean = await vlx.themes.setTheme({ name: 'Carbon' });

  await vlx.base64.decodeToFile({ filePath: 'abc.bin', contents: 'QUJD' });

  await vlx.system.logoff();
  await vlx.system.reboot();
  await vlx.system.shutdown();
  const macs: string[] = await vlx.system.macAddresses();
  const shown: boolean = await vlx.system.notification({ name: 'n1', title: 'Hi', body: 'there' });

  const menu: VlxMenuItem[] = [
    { id: 1, caption: '&File', items: [{ id: 11, caption: 'Open', image: 'app/img/open.png' },
                                       { id: 0, caption: '-' }] },
    { id: '2', caption: 'Help', enabled: false },
  ];
  await vlx.mainMenu.setItems({ items: JSON.stringify(menu) });
  await vlx.mainMenu.updateItem({ id: 11, caption: 'Open…', enabled: true });

  const wrote: boolean = await vlx.registry.writeValue({ key: 'Software\\Me\\App', name: 'n', value: 'v' });
  const value: string = await vlx.registry.readValue({ key: 'Software\\Me\\App', name: 'n' });
  await vlx.registry.valueExist({ key: 'Software\\Me\\App', name: 'n' });
  await vlx.registry.deleteValue({ key: 'Software\\Me\\App', name: 'n' });
  const key: boolean = await vlx.registry.keyExist({ key: 'Software\\Me' });
  await vlx.registry.deleteKey({ key: 'Software\\Me' });

  await vlx.trayMenu.showIcon();
  await vlx.trayMenu.setItems({ items: JSON.stringify([{ id: 1, caption: 'Quit' }]) });
  await vlx.trayMenu.updateItem({ id: 1, enabled: 'false' });
  await vlx.trayMenu.hideIcon();

  vlx.events.onCloseQuery = () => { void vlx.app.close(); };
  vlx.events.onMainMenuItemClick = (itemId: string) => { console.log(itemId.length); };
  vlx.events.onTrayMenuItemClick = (itemId) => { console.log(itemId.toUpperCase()); };
  vlx.events.onTrayIconClick = () => {};
  vlx.events.onNotificationClick = (name) => { console.log(name.trim()); };
  vlx.events.onSecondInstance = (args) => { console.log(args.join(" ")); };

  vlx.files.fileExists({ filePath: 'x' }).catch((failure: string) => console.log(failure));
  console.log(version, runtime, raw, opened, saved, folder, exists, deleted, written, dir, files,
              folders, fullscreen, args, style, state, title, zoom, zoomed, border, output, titles,
              theme, themes, themed, macs, shown, wrote, value, key);
}

async function refused(): Promise<void> {
  // @ts-expect-error a function with arguments needs its argument object
  await vlx.files.fileExists();
  // @ts-expect-error filePath is required
  await vlx.files.fileExists({});
  // @ts-expect-error the answer is a boolean
  const notText: string = await vlx.files.fileExists({ filePath: 'x' });
  // @ts-expect-error no such member
  await vlx.files.readTextFile({ filePath: 'x' });
  // @ts-expect-error no such state
  await vlx.window.setState({ state: 'hidden' });
  // @ts-expect-error items is JSON text, not an array
  await vlx.mainMenu.setItems({ items: [{ id: 1, caption: 'x' }] });
  // @ts-expect-error a menu item needs a caption
  const item: VlxMenuItem = { id: 1 };
  // @ts-expect-error the tray icon is not part of the main menu
  await vlx.mainMenu.showIcon();
  // @ts-expect-error item ids arrive as strings
  vlx.events.onMainMenuItemClick = (itemId: number) => {};
  console.log(notText, item);
}

void everyFunction();
void refused();
