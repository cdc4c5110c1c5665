'use strict';

const $ = (id) => document.getElementById(id);

function mark(id, ok) {
  $(id).classList.add(ok ? 'ok' : 'failed');
}

function setStatus(text, kind) {
  const status = $('status');
  status.textContent = text;
  status.className = 'badge ' + kind;
}

// The page checks its own files: the document and this script are obviously here; the style
// sheet sets a custom property, the image has pixels once it has loaded.
function checkResources() {
  mark('check-html', true);
  mark('check-js', true);
  const style = getComputedStyle(document.documentElement);
  mark('check-css', style.getPropertyValue('--stylesheet-loaded').trim() === 'yes');
  const logo = $('logo');
  const showImage = () => mark('check-img', logo.naturalWidth > 0);
  if (logo.complete) showImage();
  else {
    logo.addEventListener('load', showImage);
    logo.addEventListener('error', showImage);
  }
}

async function measureBridge() {
  const button = $('measure');
  button.disabled = true;
  const calls = 300;
  const start = performance.now();
  for (let i = 0; i < calls; i++) await vlx.hello();
  const seconds = (performance.now() - start) / 1000;
  $('rate').textContent = Math.round(calls / seconds).toLocaleString('en-US');
  button.disabled = false;
}

async function toggleFullscreen() {
  if (await vlx.app.inFullscreen()) await vlx.app.exitFullscreen();
  else await vlx.app.enterFullscreen();
  $('fullscreen').textContent = (await vlx.app.inFullscreen()) ? 'Leave full screen' : 'Full screen';
}

// The window as the runtime sees it, frame included; kept current while the user resizes.
async function showWindowSize() {
  const size = await vlx.window.getSize();
  $('window-size').textContent = `${size.width} × ${size.height} px at ${size.left}, ${size.top}`;
}

async function main() {
  checkResources();
  $('address').textContent = location.href;
  if (typeof window.vlx !== 'object') {
    // Opened in an ordinary browser: the page still shows, without the bridge.
    setStatus('Not inside Velloc', 'warn');
    for (const id of ['hello', 'is-runtime', 'executable', 'window-size']) {
      $(id).textContent = 'no bridge';
    }
    for (const id of ['measure', 'fullscreen', 'close']) $(id).disabled = true;
    return;
  }
  $('close').addEventListener('click', () => vlx.app.close());
  $('fullscreen').addEventListener('click', toggleFullscreen);
  $('measure').addEventListener('click', measureBridge);

  const [version, isRuntime] = await Promise.all([vlx.hello(), vlx.isRuntime()]);
  $('hello').textContent = JSON.stringify(version);
  $('is-runtime').textContent = String(isRuntime);
  vlx.app.getArgs().then((args) => {
    $('executable').textContent = args[0].split('/').pop();
    $('executable').title = args[0];
  });
  showWindowSize();
  let resizeTimer = 0;
  window.addEventListener('resize', () => {
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(showWindowSize, 150);
  });
  setStatus('Running in Velloc ' + version, isRuntime ? 'ok' : 'warn');
  await measureBridge();
}

main().catch((error) => setStatus('Error: ' + error, 'warn'));
