// window.vlx: the page side of the Velloc bridge. Runs at the creation of every document, before
// the page's own scripts. Each call posts one message { id, uuid, data } through
// window.chrome.webview and settles when the reply with the same uuid comes back; the runtime
// calls the functions of window.vlx.events to raise its events in the page.
(function () {
  // The calls waiting for their reply, by uuid, and the one message listener that settles them:
  // a reply finds its call in constant time however many are pending. The listener is there
  // exactly while a call waits.
  var pending = new Map();
  function onReply(event) {
    var data = event.data;
    var waiting = data && typeof data.uuid === 'string' ? pending.get(data.uuid) : undefined;
    if (!waiting) return;
    pending.delete(data.uuid);
    if (pending.size === 0) window.chrome.webview.removeEventListener('message', onReply);
    if (data.success) {
      waiting.resolve(data.result);
    } else {
      waiting.reject(data.result);
    }
  }

  window.vlx = {
    call: function (funcID, args) {
      var uuid = 'xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx'.replace(/[xy]/g, function (c) {
        var r = Math.floor(Math.random() * 16);
        return (c === 'x' ? r : ((r & 0x3) | 0x8)).toString(16);
      });
      return new Promise(function (resolve, reject) {
        // In place before posting, so even an immediate reply finds its call.
        if (pending.size === 0) window.chrome.webview.addEventListener('message', onReply);
        pending.set(uuid, { resolve: resolve, reject: reject });
        window.chrome.webview.postMessage({ id: funcID, uuid: uuid, data: args });
      });
    },

    hello: function () { return this.call(10001, {}); },
    isRuntime: function () { return this.call(10002, {}); },

    dialogs: {
      openFile: function (args) { return window.vlx.call(20001, args); },
      saveFile: function (args) { return window.vlx.call(20002, args); },
      selFolder: function (args) { return window.vlx.call(20003, args); }
    },

    files: {
      fileExists: function (args) { return window.vlx.call(30001, args); },
      deleteFile: function (args) { return window.vlx.call(30002, args); },
      writeTextFile: function (args) { return window.vlx.call(30003, args); },
      extractFile: function (args) { return window.vlx.call(30004, args); }
    },

    folders: {
      dirExists: function (args) { return window.vlx.call(40001, args); },
      createDir: function (args) { return window.vlx.call(40002, args); },
      deleteDir: function (args) { return window.vlx.call(40003, args); },
      listFiles: function (args) { return window.vlx.call(40004, args); },
      getTempDir: function () { return window.vlx.call(40005, {}); },
      getUserDocumentsDir: function () { return window.vlx.call(40006, {}); },
      getUserDesktopDir: function () { return window.vlx.call(40007, {}); },
      getAppExecutableDir: function () { return window.vlx.call(40008, {}); },
      getAppDataDir: function () { return window.vlx.call(40009, {}); }
    },

    app: {
      close: function () { return window.vlx.call(50001, {}); },
      inFullscreen: function () { return window.vlx.call(50002, {}); },
      enterFullscreen: function () { return window.vlx.call(50003, {}); },
      exitFullscreen: function () { return window.vlx.call(50004, {}); },
      getArgs: function () { return window.vlx.call(50005, {}); },
      navigate: function (args) { return window.vlx.call(50006, args); },
      checkForUpdate: function () { return window.vlx.call(50007, {}); },
      installUpdate: function () { return window.vlx.call(50008, {}); }
    },

    window: {
      getStyle: function () { return window.vlx.call(60001, {}); },
      setStyle: function (args) { return window.vlx.call(60002, args); },
      getState: function () { return window.vlx.call(60003, {}); },
      setState: function (args) { return window.vlx.call(60004, args); },
      getTitle: function () { return window.vlx.call(60005, {}); },
      setTitle: function (args) { return window.vlx.call(60006, args); },
      getZoom: function () { return window.vlx.call(60007, {}); },
      setZoom: function (args) { return window.vlx.call(60008, args); },
      getSize: function () { return window.vlx.call(60009, {}); },
      setSize: function (args) { return window.vlx.call(60010, args); },
      getBorder: function () { return window.vlx.call(60011, {}); },
      setBorder: function (args) { return window.vlx.call(60012, args); }
    },

    shell: {
      execute: function (args) { return window.vlx.call(70001, args); },
      explore: function (args) { return window.vlx.call(70002, args); },
      command: function (args) { return window.vlx.call(70003, args); },
      windows: function () { return window.vlx.call(70004, {}); }
    },

    themes: {
      getTheme: function () { return window.vlx.call(80001, {}); },
      getThemes: function () { return window.vlx.call(80002, {}); },
      setTheme: function (args) { return window.vlx.call(80003, args); }
    },

    base64: {
      decodeToFile: function (args) { return window.vlx.call(90001, args); }
    },

    system: {
      logoff: function () { return window.vlx.call(11001, {}); },
      reboot: function () { return window.vlx.call(11002, {}); },
      shutdown: function () { return window.vlx.call(11003, {}); },
      macAddresses: function () { return window.vlx.call(11004, {}); },
      notification: function (args) { return window.vlx.call(11005, args); }
    },

    mainMenu: {
      setItems: function (args) { return window.vlx.call(12001, args); },
      updateItem: function (args) { return window.vlx.call(12002, args); }
    },

    registry: {
      writeValue: function (args) { return window.vlx.call(13001, args); },
      readValue: function (args) { return window.vlx.call(13002, args); },
      valueExist: function (args) { return window.vlx.call(13003, args); },
      deleteValue: function (args) { return window.vlx.call(13004, args); },
      keyExist: function (args) { return window.vlx.call(13005, args); },
      deleteKey: function (args) { return window.vlx.call(13006, args); }
    },

    trayMenu: {
      showIcon: function () { return window.vlx.call(14001, {}); },
      hideIcon: function () { return window.vlx.call(14002, {}); },
      setItems: function (args) { return window.vlx.call(14003, args); },
      updateItem: function (args) { return window.vlx.call(14004, args); }
    },

    // Raised by the runtime; pages replace these by assignment.
    events: {
      // The window closes only through vlx.app.close(); a replacement that does not call it keeps
      // the window open.
      onCloseQuery: function () { window.vlx.app.close(); },
      onMainMenuItemClick: function (itemId) {},
      onTrayMenuItemClick: function (itemId) {},
      onTrayIconClick: function () {},
      onNotificationClick: function (notifName) {},
      onSecondInstance: function (args) {},
      onUpdateProgress: function (received, total) {}
    }
  };
})();
