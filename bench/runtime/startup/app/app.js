// Builds a little content, then ends the run at DOMContentLoaded: inside the runtime through the
// close protocol, in the reference host through its own handler.
document.addEventListener('DOMContentLoaded', () => {
  const cards = document.getElementById('cards');
  for (let i = 1; i <= 24; i++) {
    const card = document.createElement('div');
    card.className = 'card';
    card.textContent = 'Card ' + i;
    cards.appendChild(card);
  }
  if (window.vlx) window.vlx.app.close();
});
