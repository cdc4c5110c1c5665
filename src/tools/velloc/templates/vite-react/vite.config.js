import react from '@vitejs/plugin-react';
import { defineConfig } from 'vite';
import velloc from './velloc.vite.js';

// `npm run dev` shows Vite's server in the application's window; `npm run build` builds into
// app/, the folder that vlx.ini names, and packs the executable. Relative addresses, so the
// built pages work from the package as from any folder.
export default defineConfig({
  base: './',
  build: { outDir: 'app', emptyOutDir: true },
  plugins: [react(), velloc()],
});
