import { useEffect, useState } from 'react';
import Greeting from './Greeting.jsx';

/** @param {{ version: string | null }} props */
export default function App({ version }) {
  const [count, setCount] = useState(0);
  const [title, setTitle] = useState('');
  useEffect(() => {
    if (version !== null) void vlx.window.getTitle().then(setTitle);
  }, [version]);

  /** @param {import('react').FormEvent} event */
  async function saveTitle(event) {
    event.preventDefault();
    await vlx.window.setTitle({ title });
  }

  return (
    <>
      <header>
        <h1>{document.title}</h1>
        <p className={version === null ? 'badge' : 'badge ok'}>
          {version === null
            ? 'Not running in Velloc: start it with `npm run dev`.'
            : `Running on Velloc ${version}`}
        </p>
      </header>
      <main>
        <section>
          <h2>Hot reload</h2>
          <Greeting name={document.title} />
          <button type="button" onClick={() => setCount(count + 1)}>
            Clicked {count} times
          </button>
          <p className="note">
            Edit <code>src/Greeting.jsx</code> while <code>npm run dev</code> runs: the text
            changes in place and the count stays.
          </p>
        </section>
        <section>
          <h2>The window</h2>
          <p>
            Its title, read with <code>vlx.window.getTitle()</code> and set with{' '}
            <code>vlx.window.setTitle()</code>:
          </p>
          <form className="row" onSubmit={saveTitle}>
            <input
              type="text"
              aria-label="Window title"
              value={title}
              disabled={version === null}
              onChange={(event) => setTitle(event.target.value)}
            />
            <button type="submit" disabled={version === null}>
              Set title
            </button>
          </form>
        </section>
      </main>
    </>
  );
}
