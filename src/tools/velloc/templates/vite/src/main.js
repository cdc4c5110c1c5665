// @ts-check
// The page's script, a module: it imports others and awaits at its top level. vlx.d.ts (beside
// vlx.ini) describes window.vlx; editors that read jsconfig.json check this file against it.
import './style.css';
import { greeting } from './greeting.js';

/** @param {string} id */
function byId(id) {
  const element = document.getElementById(id);
  if (!element) throw new Error(`no element #${id}`);
  return element;
}

const appName = document.title;

/** @param {typeof greeting} make */
function showGreeting(make) {
  byId('greeting').textContent = make(appName);
}

// State that hot reload keeps: only the modules that changed run again.
let count = 0;
byId('counter').addEventListener('click', () => {
  count += 1;
  byId('counter').textContent = `Clicked ${count} times`;
});
showGreeting(greeting);
if (import.meta.hot) {
  import.meta.hot.accept('./greeting.js', (module) => {
    if (module) showGreeting(module.greeting);
  });
}

const runtime = byId('runtime');
if (typeof vlx === 'undefined') {
  runtime.textContent = 'Not running in Velloc: start it with `npm run dev`.';
} else {
  runtime.textContent = `Running on Velloc ${await vlx.hello()}`;
  runtime.classList.add('ok');
  const title = /** @type {HTMLInputElement} */ (byId('title'));
  title.value = await vlx.window.getTitle();
  byId('title-form').addEventListener('submit', async (event) => {
    event.preventDefault();
    await vlx.window.setTitle({ title: title.value });
  });
}
