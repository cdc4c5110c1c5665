// @ts-check
// Saved while `npm run dev` runs, this module is replaced in the running page (see main.js).

/** @param {string} name */
export function greeting(name) {
  return `Hello from ${name}!`;
}
