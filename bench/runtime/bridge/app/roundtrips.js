// Round trips per second through `call`: one at a time, then 1,000 at once (the best of several
// rounds, so a busy machine disturbs the figures less), then 10,000 and 100,000 at once, which
// show whether the cost of a reply grows with the number of calls waiting.
async function measureRoundTrips(call) {
  for (let i = 0; i < 300; i++) await call();  // warm-up
  const rate = (count, started) => count / ((performance.now() - started) / 1000);
  let sequential = 0;
  for (let round = 0; round < 3; round++) {
    const started = performance.now();
    for (let i = 0; i < 1000; i++) await call();
    sequential = Math.max(sequential, rate(1000, started));
  }
  let concurrent = 0;
  for (let round = 0; round < 5; round++) {
    const started = performance.now();
    await Promise.all(Array.from({length: 1000}, () => call()));
    concurrent = Math.max(concurrent, rate(1000, started));
  }
  const result = {sequential: Math.round(sequential), concurrent: Math.round(concurrent)};
  for (const count of [10000, 100000]) {
    const started = performance.now();
    await Promise.all(Array.from({length: count}, () => call()));
    result['concurrent' + count] = Math.round(rate(count, started));
  }
  return result;
}
