// The page's entry, a module: it awaits at its top level, here for the runtime's version before
// the first render. vlx.d.ts (beside vlx.ini) describes window.vlx.
import { StrictMode } from 'react';
import { createRoot } from 'react-dom/client';
import App from './App.jsx';
import './style.css';

const version = typeof vlx === 'undefined' ? null : await vlx.hello();
const root = document.getElementById('root');
if (!root) throw new Error('no element #root');
createRoot(root).render(
  <StrictMode>
    <App version={version} />
  </StrictMode>,
);
