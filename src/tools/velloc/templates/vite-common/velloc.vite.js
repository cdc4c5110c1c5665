// Shows Vite's development server in the application's window. Once the server listens,
// `velloc run . --url <its address>` packs the app folder as a development package and opens
// the window on the server's page: the page has window.vlx, Vite's hot module reload updates it
// in place, and closing the window ends `npm run dev`. Set VELLOC to the velloc program when it
// is not on the PATH.
import { spawn } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import { resolve } from 'node:path';

/** @type {import('node:child_process').ChildProcess | null} */
let running = null;

/** @returns {import('vite').Plugin} */
export default function velloc() {
  return {
    name: 'velloc',
    apply: 'serve',
    configureServer(server) {
      const http = server.httpServer;
      if (!http) return;
      http.once('listening', () => {
        // Vite starts its server again when its configuration changes: one window is enough.
        if (running) return;
        const address = http.address();
        if (!address || typeof address === 'string') return;
        const scheme = server.config.server.https ? 'https' : 'http';
        const url = `${scheme}://localhost:${address.port}/`;
        // velloc packs the folder that vlx.ini names, which Vite fills only when it builds.
        const root = server.config.root;
        mkdirSync(resolve(root, server.config.build.outDir), { recursive: true });
        const program = process.env.VELLOC || 'velloc';
        running = spawn(program, ['run', root, '--url', url], { stdio: 'inherit' });
        running.on('error', (error) => {
          console.error(`velloc: cannot start ${program}: ${error.message}`);
          process.exit(1);
        });
        running.on('exit', (code) => {
          void server.close().finally(() => process.exit(code ?? 1));
        });
      });
    },
  };
}
