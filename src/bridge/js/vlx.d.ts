// Type declarations of window.vlx, the Velloc bridge of every page of a packed application.
//
// Every function returns a promise. It resolves with the value given below and rejects with a
// string, the failure text named in the function's comment ("Missing filePath"). A function
// that takes an argument object needs one: without it no message reaches the runtime and the
// promise never settles, so pass {} when every member is optional. Members are read as text,
// so a number or boolean given where text is expected arrives as its JSON text. Any function
// rejects with "Not supported" where the desktop lacks the service it needs.
//
// Paths relative to the executable's folder resolve there; absolute paths are used as they are.
// Folder paths the runtime answers end with a "/".

/** The names the runtime gives the window's border styles (vlx.ini WindowBorder 0 to 5). */
type VlxBorderName = 'none' | 'single' | 'sizeable' | 'dialog' | 'toolwindow' | 'sizetoolwindow';

/** The window states. */
type VlxWindowState = 'normal' | 'minimized' | 'maximized';

/** The stacking styles: "ontop" keeps the window above the others. */
type VlxWindowStyle = 'ontop' | 'normal';

/** The built-in visual styles of the native window parts; "Windows" is the desktop's own look. */
type VlxThemeName =
  | 'Amakrits' | 'Amethyst Kamri' | 'Aqua Graphite' | 'Aqua Light Slate'
  | 'Auric' | 'Carbon' | 'Charcoal Dark Slate' | 'Cobalt XEMedia'
  | 'Cyan Dusk' | 'Cyan Night' | 'Emerald Light Slate' | 'Glossy'
  | 'Glow' | 'Golden Graphite' | 'Iceberg Classico' | 'Lavender Classico'
  | 'Light' | 'Luna' | 'Metropolis UI Black' | 'Metropolis UI Blue'
  | 'Metropolis UI Dark' | 'Metropolis UI Green' | 'Obsidian' | 'Onyx Blue'
  | 'Ruby Graphite' | 'Sapphire Kamri' | 'Silver' | 'Sky'
  | 'Slate Classico' | 'Smokey Quartz Kamri' | 'Tablet Dark' | 'Tablet Light'
  | 'Turquoise Gray' | 'Windows' | 'Windows10' | 'Windows10 Blue'
  | 'Windows10 Dark' | 'Windows10 Green' | 'Windows10 Purple' | 'Windows10 SlateGray';

/** The window's outer rectangle in screen pixels. */
interface VlxWindowRect {
  top: number;
  left: number;
  width: number;
  height: number;
}

/**
 * One menu item, for vlx.mainMenu.setItems and vlx.trayMenu.setItems, which take the list as
 * JSON text: `setItems({items: JSON.stringify(list)})`.
 */
interface VlxMenuItem {
  /** The number the click event reports (as a string of digits). */
  id: number | string;
  /** "-" draws a separator; "&" marks the following letter as the access key. */
  caption: string;
  /** Default true. */
  enabled?: boolean | string;
  /** A package entry by its full name ("app/img/open.png"), else a file beside the executable, else a path. */
  image?: string;
  /** A submenu; an item that has one is not clicked itself. */
  items?: VlxMenuItem[];
}

/** What vlx.mainMenu.updateItem and vlx.trayMenu.updateItem change; empty members change nothing. */
interface VlxMenuItemUpdate {
  id: number | string;
  caption?: string;
  enabled?: boolean | string;
  image?: string;
}

/** A file dialog's settings. fileTypes: "Text files|*.txt;Images|*.png" (one mask per type). */
interface VlxFileDialogOptions {
  fileName?: string;
  title?: string;
  fileTypes?: string;
}

interface VlxDialogs {
  /** The chosen file's full path; "" when cancelled. */
  openFile(args: VlxFileDialogOptions): Promise<string>;
  /** The chosen file's full path; "" when cancelled. overwritePrompt asks before replacing a file. */
  saveFile(args: VlxFileDialogOptions & { overwritePrompt?: boolean }): Promise<string>;
  /** The chosen folder's full path ending with "/"; "" when cancelled. */
  selFolder(args: { title?: string }): Promise<string>;
}

interface VlxFiles {
  /** Whether a file (not a folder) is there. Rejects: "Missing filePath". */
  fileExists(args: { filePath: string }): Promise<boolean>;
  /** Whether the file was deleted. Rejects: "Missing filePath". */
  deleteFile(args: { filePath: string }): Promise<boolean>;
  /**
   * Writes the text as UTF-8 with a byte-order mark, each line ended by CR LF, creating missing
   * folders. Rejects: "Missing filePath", or the system's text for a failed write.
   */
  writeTextFile(args: { filePath: string; contents?: string }): Promise<true>;
  /**
   * Copies a packaged file out: sourceFile follows the application folder's name directly
   * ("/img/logo.png"); targetFile is used as it is and its folder must exist.
   * Rejects: "Missing sourceFile", "Missing targetFile", "File not found", or the system's text.
   */
  extractFile(args: { sourceFile: string; targetFile: string }): Promise<true>;
}

interface VlxFolders {
  /** Rejects: "Missing dirPath". */
  dirExists(args: { dirPath: string }): Promise<boolean>;
  /** Creates one folder; its parent must exist. Rejects: "Missing dirPath". */
  createDir(args: { dirPath: string }): Promise<boolean>;
  /** Deletes the folder with everything in it. Rejects: "Missing dirPath". */
  deleteDir(args: { dirPath: string }): Promise<boolean>;
  /**
   * Full paths of the files matching fileMask ("*.*" for all; * ? [a-z] [!a]), in subfolders too
   * when allDirs is true. Rejects: "Missing dirPath", "Missing fileMask", "Missing allDirs",
   * "The specified folder does not exist.".
   */
  listFiles(args: { dirPath: string; fileMask: string; allDirs: boolean | string }): Promise<string[]>;
  getTempDir(): Promise<string>;
  getUserDocumentsDir(): Promise<string>;
  getUserDesktopDir(): Promise<string>;
  /** The folder relative paths resolve against. */
  getAppExecutableDir(): Promise<string>;
  /** The user's configuration folder ($XDG_CONFIG_HOME), shared by every application. */
  getAppDataDir(): Promise<string>;
}

/** What vlx.app.checkForUpdate answers. */
interface VlxUpdateCheck {
  /** A newer version is offered that this executable can install. */
  available: boolean;
  /** The running version (vlx.ini [App] Version). */
  current: string;
  /** The version the manifest offers (it may be older than the running one). */
  version: string;
  /** The manifest's release notes. */
  notes: string;
  /** The new executable's size in bytes. */
  size: number;
  /** This version was installed here before and did not come up: it is not offered again. */
  rolledBack: boolean;
}

interface VlxApp {
  /** Closes the window and ends the application; never settles. */
  close(): Promise<never>;
  inFullscreen(): Promise<boolean>;
  /** Borderless and maximized. */
  enterFullscreen(): Promise<true>;
  /** Back to the normal state with the configured border. */
  exitFullscreen(): Promise<true>;
  /** The executable's full path, then each command-line argument. */
  getArgs(): Promise<string[]>;
  /** Pages of the package are "file:///page.html". Rejects: "Missing url". */
  navigate(args: { url: string }): Promise<true>;
  /**
   * Fetches the update manifest (vlx.ini [Update] ManifestURL) and checks its signature,
   * application and platform. Rejects with why not: "Updates are not configured (section
   * [Update] of vlx.ini)", "Updates of this application come through the system's package
   * manager", "The manifest could not be downloaded: ...", "The manifest is not signed with this
   * application's key", "The manifest is for windows-x86_64, not linux-x86_64" and the like.
   */
  checkForUpdate(): Promise<VlxUpdateCheck>;
  /**
   * Downloads the newer version (vlx.events.onUpdateProgress on the way), checks its size,
   * SHA-256 and signature, puts it in the executable's place and answers true; the window then
   * closes and the new version starts. Nothing changes unless every check passes: rejects with
   * why ("Version 0.9 is not newer than the running 1.0", "The download does not match the
   * manifest's SHA-256", "The download stopped: ...", and those of checkForUpdate).
   */
  installUpdate(): Promise<true>;
}

interface VlxWindow {
  getStyle(): Promise<VlxWindowStyle>;
  /** Any text but "ontop" makes the window normal. */
  setStyle(args: { style?: VlxWindowStyle }): Promise<true>;
  getState(): Promise<VlxWindowState>;
  /** Another name changes nothing. */
  setState(args: { state?: VlxWindowState }): Promise<true>;
  getTitle(): Promise<string>;
  setTitle(args: { title?: string }): Promise<true>;
  /** The zoom factor as text in the user's number format ("1.25", or "1,25"). */
  getZoom(): Promise<string>;
  /** false (and zoom 1) when factor is not a number written with a full stop. */
  setZoom(args: { factor?: number | string }): Promise<boolean>;
  getSize(): Promise<VlxWindowRect>;
  /** Omitted members keep their value; fractions are cut off. */
  setSize(args: { top?: number | string; left?: number | string; width?: number | string; height?: number | string }): Promise<true>;
  getBorder(): Promise<VlxBorderName>;
  /** Another name changes nothing. */
  setBorder(args: { border?: VlxBorderName }): Promise<true>;
}

interface VlxShell {
  /**
   * Starts a program (arguments split as a shell would) or opens a file or address with its
   * default application. Only an executable program or a "#!" script the user may run is
   * started; any other file is opened, even with an execute bit. Rejects: "Missing filePath",
   * or the system's text.
   */
  execute(args: { filePath: string; arguments?: string }): Promise<true>;
  /** Shows the file in the file manager. Rejects: "Missing filePath", or the system's text. */
  explore(args: { filePath: string }): Promise<true>;
  /**
   * Runs the command with /bin/sh -c and answers its output and errors once it has ended; an
   * empty workingDir keeps the runtime's. At most 64 MiB of output: a command that writes more
   * is ended there, with every process it started, and answers its first 64 MiB. Commands still
   * running when the application ends are ended with it. Rejects: "Missing command".
   */
  command(args: { command: string; workingDir?: string; showWindow?: boolean | string }): Promise<string>;
  /** The titles of the desktop's top-level windows. */
  windows(): Promise<string[]>;
}

interface VlxThemes {
  getTheme(): Promise<VlxThemeName>;
  /** The 40 names, sorted. */
  getThemes(): Promise<VlxThemeName[]>;
  /** true when the named style is active afterwards with exactly that spelling. */
  setTheme(args: { name: VlxThemeName | string }): Promise<boolean>;
}

interface VlxBase64 {
  /** Writes the decoded bytes of bare base64 text. Rejects: "Missing filePath", or the system's text. */
  decodeToFile(args: { filePath: string; contents?: string }): Promise<true>;
}

interface VlxSystem {
  /** Rejects with the system's text when refused. */
  logoff(): Promise<true>;
  /** Rejects with the system's text when refused. */
  reboot(): Promise<true>;
  /** Rejects with the system's text when refused. */
  shutdown(): Promise<true>;
  /** "E,00:1A:2B:3C:4D:5E": E Ethernet, W wireless, U other. */
  macAddresses(): Promise<string[]>;
  /** false when no notification service runs. A click raises vlx.events.onNotificationClick(name). */
  notification(args: { name?: string; title?: string; body?: string }): Promise<boolean>;
}

interface VlxMenu {
  /**
   * items: JSON text of a VlxMenuItem array. A menu that has items is replaced by two calls,
   * first "[]" and then the new list. Rejects: "Missing menu items", "Wrong menu items JSON",
   * "Wrong menu item JSON".
   */
  setItems(args: { items: string }): Promise<true>;
  /** Rejects: "Missing item ID", "Wrong item ID", "No menu items". */
  updateItem(args: VlxMenuItemUpdate): Promise<true>;
}

interface VlxMainMenu extends VlxMenu {}

interface VlxTrayMenu extends VlxMenu {
  showIcon(): Promise<true>;
  hideIcon(): Promise<true>;
}

interface VlxRegistry {
  /** false when the key cannot be created. Rejects: "Missing registry key.", "Missing value name.". */
  writeValue(args: { key: string; name: string; value?: string }): Promise<boolean>;
  /** "" when the key or value does not exist. Rejects as writeValue. */
  readValue(args: { key: string; name: string }): Promise<string>;
  /** Rejects as writeValue. */
  valueExist(args: { key: string; name: string }): Promise<boolean>;
  /** Rejects as writeValue. */
  deleteValue(args: { key: string; name: string }): Promise<boolean>;
  /** Rejects: "Missing registry key.". */
  keyExist(args: { key: string }): Promise<boolean>;
  /** Deletes the key with all its subkeys. Rejects: "Missing registry key.". */
  deleteKey(args: { key: string }): Promise<boolean>;
}

/** The runtime's events; a page replaces a handler by assigning its own. */
interface VlxEvents {
  /** The user asks to close the window; it closes only through vlx.app.close(). */
  onCloseQuery: () => void;
  /** The item's id, as a string of digits. */
  onMainMenuItemClick: (itemId: string) => void;
  /** The item's id, as a string of digits. */
  onTrayMenuItemClick: (itemId: string) => void;
  onTrayIconClick: () => void;
  /** The name the notification was shown with. */
  onNotificationClick: (notifName: string) => void;
  /**
   * The application was started again while it runs (AllowInstances=0): its window has come
   * forward, and `args` are the later start's command-line arguments, for example a link of
   * the application's URL scheme or a file of its type (section Desktop of vlx.ini).
   */
  onSecondInstance: (args: string[]) => void;
  /** vlx.app.installUpdate's download: bytes received of the total, about a hundred times. */
  onUpdateProgress: (received: number, total: number) => void;
}

interface Vlx {
  /** Sends one bridge message; the functions below are its named forms. */
  call(funcID: number, args?: object): Promise<unknown>;
  /** The runtime's version, "2026.10". */
  hello(): Promise<string>;
  isRuntime(): Promise<boolean>;
  dialogs: VlxDialogs;
  files: VlxFiles;
  folders: VlxFolders;
  app: VlxApp;
  window: VlxWindow;
  shell: VlxShell;
  themes: VlxThemes;
  base64: VlxBase64;
  system: VlxSystem;
  mainMenu: VlxMainMenu;
  registry: VlxRegistry;
  trayMenu: VlxTrayMenu;
  events: VlxEvents;
}

/** Present in every page of a Velloc application (and absent in an ordinary browser). */
declare var vlx: Vlx;
