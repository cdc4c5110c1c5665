#!/usr/bin/env python3
"""Writes a many-file application like a large editor's: ES modules that import each other, one
large classic bundle, style sheets and fonts. The page reports "ready" once every module has run,
the bundle is evaluated and the fonts are loaded: inside the runtime by closing the app, in the
reference host through its "done" message handler, which gets "ready MS" with the milliseconds
from the start of navigation. With --report-dir the runtime's page first writes that figure to a
new file in DIR.

Usage: make-app.py FOLDER [--modules N] [--bundle-mb M] [--report-dir DIR]"""
import json
import argparse
import glob
import os
import random
import shutil

WORDS = ("model editor range position token line column buffer cursor selection decoration "
         "marker view layout render theme worker language provider service event emitter "
         "disposable options state cache index offset length value result handler").split()


def function_text(rng, name):
    a, b, c = rng.sample(WORDS, 3)
    return (f"export function {name}({a}, {b}) {{\n"
            f"  const {c}List = [];\n"
            f"  for (let i = 0; i < ({a} | 0) % 7; i++) {{\n"
            f"    {c}List.push({{ {a}: i, {b}: String({b}) + '{name}', kind: '{c}' }});\n"
            f"  }}\n"
            f"  return {c}List.length + {rng.randrange(1000)};\n"
            f"}}\n\n")


def module_text(rng, index, count, size):
    parts = []
    # Each module imports up to three earlier ones, so the graph has depth as real code has.
    for dep in sorted({rng.randrange(index) for _ in range(min(index, 3))}):
        parts.append(f"import {{ entry{dep} }} from './m{dep:03}.js';\n")
    parts.append("\n")
    n = 0
    while sum(map(len, parts)) < size:
        parts.append(function_text(rng, f"f{index}_{n}"))
        n += 1
    deps = [p.split('{ ')[1].split(' }')[0] for p in parts if p.startswith('import')]
    calls = " + ".join(f"{d}()" for d in deps) or "0"
    parts.append(f"export function entry{index}() {{ return f{index}_0(1, 2) + {calls}; }}\n")
    return "".join(parts)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--modules", type=int, default=64)
    parser.add_argument("--bundle-mb", type=float, default=4.0)
    parser.add_argument("--report-dir")
    args = parser.parse_args()
    rng = random.Random(2026)
    app = os.path.join(args.folder, "app")
    os.makedirs(os.path.join(app, "modules"), exist_ok=True)
    os.makedirs(os.path.join(app, "fonts"), exist_ok=True)

    for i in range(args.modules):
        with open(os.path.join(app, "modules", f"m{i:03}.js"), "w") as f:
            f.write(module_text(rng, i, args.modules, 60_000 + rng.randrange(60_000)))
    with open(os.path.join(app, "main.js"), "w") as f:
        for i in range(args.modules):
            f.write(f"import {{ entry{i} }} from './modules/m{i:03}.js';\n")
        f.write("window.moduleSum = [" + ", ".join(f"entry{i}" for i in range(args.modules)) +
                "].reduce((sum, entry) => sum + entry(), 0);\n")

    with open(os.path.join(app, "bundle.js"), "w") as f:
        f.write("(function () {\n")
        n, target = 0, int(args.bundle_mb * 1024 * 1024)
        while f.tell() < target:
            f.write(function_text(rng, f"b{n}").replace("export ", ""))
            n += 1
        f.write(f"window.bundleReady = typeof b{n - 1} === 'function';\n}})();\n")

    fonts = sorted(glob.glob("/usr/share/fonts/truetype/dejavu/DejaVu*.ttf"))[:4]
    faces = []
    for i, font in enumerate(fonts):
        shutil.copy(font, os.path.join(app, "fonts", f"face{i}.ttf"))
        faces.append(f"@font-face {{ font-family: face{i}; src: url(fonts/face{i}.ttf); }}\n")
    with open(os.path.join(app, "style.css"), "w") as f:
        f.write("".join(faces))
        for i in range(2000):
            f.write(f".c{i} {{ color: #{rng.randrange(0x1000000):06x}; margin: {i % 9}px; }}\n")
    font_loads = ", ".join(f"document.fonts.load('16px face{i}')" for i in range(len(fonts)))
    close = "window.vlx.app.close()"
    if args.report_dir:
        report = json.dumps(os.path.abspath(args.report_dir) + "/")
        close = (f"window.vlx.files.writeTextFile({{filePath: {report} + Date.now() + '.txt', "
                 f"contents: String(ms)}}).then(() => {close})")
    with open(os.path.join(app, "index.html"), "w") as f:
        f.write(f"""<!doctype html>
<html>
<head>
  <meta charset="utf-8">
  <title>Many files</title>
  <link rel="stylesheet" href="style.css">
  <script src="bundle.js"></script>
  <script type="module" src="main.js"></script>
</head>
<body>
  <p class="c1" style="font-family: face0">Many files</p>
  <script type="module">
    import './main.js';
    Promise.all([{font_loads}]).then(() => {{
      const ms = performance.now();
      if (!window.bundleReady || !window.moduleSum) throw new Error('not ready');
      if (window.vlx) {close};
      else window.webkit.messageHandlers.done.postMessage('ready ' + ms);
    }});
  </script>
</body>
</html>
""")
    with open(os.path.join(args.folder, "vlx.ini"), "w") as f:
        f.write("[App]\nID=VellocManyFilesBench\nName=Many files\nDirName=app\nAllowInstances=1\n")
    total = sum(os.path.getsize(p) for p in glob.glob(os.path.join(app, "**"), recursive=True)
                if os.path.isfile(p))
    files = sum(1 for p in glob.glob(os.path.join(app, "**"), recursive=True) if os.path.isfile(p))
    print(f"{files} files, {total / 1e6:.1f} MB")


if __name__ == "__main__":
    main()
