// The typings of window.vlx against the bridge: the same functions as the runtime's function
// table and the page script, each taking an argument object exactly when the script forwards
// one, the same events, and a sample that calls every function.
// Usage: node check_typings.js TSC vlx.d.ts vlx_shared.js FunctionTable.cpp sample.ts
'use strict';

const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');
const vm = require('node:vm');

const [tscPath, typingsPath, scriptPath, tablePath, samplePath] = process.argv.slice(2);
if (!samplePath) {
  console.error('usage: node check_typings.js TSC vlx.d.ts vlx_shared.js FunctionTable.cpp sample.ts');
  process.exit(2);
}
// Debian's node-typescript lives outside the module path of every Node.js build.
const ts = require(path.resolve(path.dirname(fs.realpathSync(tscPath)), '..'));

// name -> number of required parameters, for every function reachable from the typings' Vlx.
let typed;
function typedFunctions() {
  if (typed) return { functions: new Map(typed.functions), events: [...typed.events] };
  const program = ts.createProgram([typingsPath], { strict: true, noEmit: true, lib: ['lib.es2020.d.ts'] });
  const diagnostics = ts.getPreEmitDiagnostics(program);
  assert.deepStrictEqual(diagnostics.map((d) => ts.flattenDiagnosticMessageText(d.messageText, '\n')), [],
                         'vlx.d.ts compiles');
  const checker = program.getTypeChecker();
  const file = program.getSourceFile(typingsPath);
  const vlxVar = checker.getSymbolsInScope(file, ts.SymbolFlags.Variable).find((s) => s.name === 'vlx');
  assert.ok(vlxVar, 'vlx.d.ts declares the global vlx');
  const functions = new Map();
  const events = [];
  const walk = (type, prefix) => {
    for (const property of checker.getPropertiesOfType(type)) {
      const name = `${prefix}.${property.name}`;
      const propertyType = checker.getTypeOfSymbolAtLocation(property, file);
      const signatures = propertyType.getCallSignatures();
      if (name === 'vlx.events') {
        for (const handler of checker.getPropertiesOfType(propertyType)) events.push(handler.name);
      } else if (signatures.length > 0) {
        assert.strictEqual(signatures.length, 1, `${name} has one signature`);
        functions.set(name, signatures[0].minArgumentCount);
      } else {
        walk(propertyType, name);
      }
    }
  };
  walk(checker.getTypeOfSymbolAtLocation(vlxVar, file), 'vlx');
  typed = { functions, events };
  return typedFunctions();
}

// The same, from the page script as it runs, with a webview that accepts everything.
function scriptFunctions() {
  const webview = { addEventListener() {}, removeEventListener() {}, postMessage() {} };
  const page = { chrome: { webview } };
  page.window = page;
  vm.createContext(page);
  vm.runInContext(fs.readFileSync(scriptPath, 'utf8'), page, { filename: scriptPath });
  const functions = new Map();
  const walk = (object, prefix) => {
    for (const [key, value] of Object.entries(object)) {
      const name = `${prefix}.${key}`;
      if (name === 'vlx.events') continue;
      if (typeof value === 'function') functions.set(name, value.length);
      else walk(value, name);
    }
  };
  walk(page.vlx, 'vlx');
  return { functions, events: Object.keys(page.vlx.events) };
}

function tableFunctions() {
  const text = fs.readFileSync(tablePath, 'utf8');
  const names = [...text.matchAll(/\{\s*\d+\s*,\s*"(vlx\.[A-Za-z0-9_.]+)"/g)].map((m) => m[1]);
  assert.ok(names.length > 0, `no functions found in ${tablePath}`);
  return names;
}

const sorted = (names) => [...names].sort();

test('the typings name every function of the function table, and nothing else', () => {
  const typed = typedFunctions().functions;
  typed.delete('vlx.call');
  assert.deepStrictEqual(sorted(typed.keys()), sorted(tableFunctions()));
});

test('each typed function takes an argument object exactly when the page script forwards one', () => {
  const typed = typedFunctions().functions;
  const script = scriptFunctions().functions;
  assert.deepStrictEqual(sorted(typed.keys()), sorted(script.keys()));
  for (const [name, parameters] of script) {
    if (name === 'vlx.call') continue;
    assert.strictEqual(typed.get(name), parameters, `${name}: required parameters`);
  }
});

test('the typings name every event of the page script', () => {
  assert.deepStrictEqual(sorted(typedFunctions().events), sorted(scriptFunctions().events));
});

test('the sample calls every function and assigns every event', () => {
  const sample = fs.readFileSync(samplePath, 'utf8');
  const missing = tableFunctions().filter((name) => !sample.includes(`${name}(`));
  assert.deepStrictEqual(missing, [], 'functions the sample does not call');
  const unassigned = scriptFunctions().events.filter((name) => !sample.includes(`vlx.events.${name} =`));
  assert.deepStrictEqual(unassigned, [], 'events the sample does not assign');
});
