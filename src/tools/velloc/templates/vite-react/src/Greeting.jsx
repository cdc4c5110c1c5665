// Saved while `npm run dev` runs, this component is replaced in the running page; the state of
// the others (the count in App.jsx) stays.

/** @param {{ name: string }} props */
export default function Greeting({ name }) {
  return <p>Hello from {name}!</p>;
}
