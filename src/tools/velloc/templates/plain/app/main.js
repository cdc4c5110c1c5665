// @ts-check
// The page's script, a module: it may import others and await at its top level. vlx.d.ts
// (beside vlx.ini) describes window.vlx; editors that read jsconfig.json check this file
// against it.

/** @param {string} id */
function byId(id) {
  const element = document.getElementById(id);
  if (!element) throw new Error(`no element #${id}`);
  return element;
}

/** @param {string} id */
function input(id) {
  return /** @type {HTMLInputElement} */ (byId(id));
}

/**
 * @param {string} id
 * @param {string} text
 * @param {'ok' | 'failed' | ''} [kind]
 */
function show(id, text, kind = '') {
  const element = byId(id);
  element.textContent = text;
  element.classList.toggle('ok', kind === 'ok');
  element.classList.toggle('failed', kind === 'failed');
}

async function showWindow() {
  input('title').value = await vlx.window.getTitle();
  const size = await vlx.window.getSize();
  show('size', `The window is ${size.width} × ${size.height} pixels at ${size.left}, ${size.top}.`);
}

async function writeAndReadNote() {
  const path = (await vlx.folders.getTempDir()) + '@ID@-note.txt';
  try {
    await vlx.files.writeTextFile({ filePath: path, contents: input('note').value });
    // Files outside the package are served as file:/// URLs too.
    const text = (await (await fetch('file://' + path)).text()).trimEnd();
    show('note-result', `${path} holds “${text}”.`, 'ok');
  } catch (failure) {
    show('note-result', `Could not write ${path}: ${failure}`, 'failed');
  }
}

if (typeof vlx === 'undefined') {
  show('runtime', 'Not running in Velloc: pack this folder with `velloc pack` and run the result.');
} else {
  show('runtime', `Running on Velloc ${await vlx.hello()}`, 'ok');
  byId('title-form').addEventListener('submit', async (event) => {
    event.preventDefault();
    await vlx.window.setTitle({ title: input('title').value });
  });
  byId('note-form').addEventListener('submit', (event) => {
    event.preventDefault();
    void writeAndReadNote();
  });
  await showWindow();
  await writeAndReadNote();
}
