// The purchase widget page: the store's catalogue, a basket, validation and purchase through
// the plugin's endpoints, and the player's and the widget's state kept current from the host's
// event stream. All text goes into the page as text, never as markup.

import { call, paths } from './api.js';
import { Basket } from './basket.js';
import { formatAmount, formatDate, keyOf, priceTexts, purchasablePrices, saleTexts, currentPrices } from './catalogue.js';
import { listen } from './live.js';
import { WIDGET_DISABLED_TEXT, describeFailure, purchaseSummary } from './messages.js';
import { CONFIGURATION_URI, LOCALE_URI, SESSION_URI, isSignedIn, readConfiguration } from './session.js';

const state = {
  config: null, // {enabled, purchaseDisclaimerEnabled} once known
  signedIn: null,
  accountId: null,
  wallet: null,
  catalogue: null,
  live: 'connecting',
  busy: null, // "validate" or "purchase" while a request runs
};
const basket = new Basket();

const $ = (id) => document.getElementById(id);

// An element with attributes (properties where the element has one) and children (texts or nodes).
function el(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value === undefined || value === null || value === false) continue;
    if (name === 'class') node.className = value;
    else if (name.startsWith('on')) node.addEventListener(name.slice(2), value);
    else if (name in node && typeof value !== 'string') node[name] = value;
    else node.setAttribute(name, value === true ? '' : value);
  }
  for (const child of children.flat()) {
    if (child === null || child === undefined || child === false) continue;
    node.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
  return node;
}

function idFor(prefix, key) {
  return `${prefix}-${key.replace(/[^A-Za-z0-9_-]/g, '_')}`;
}

// Re-renders `render()` and puts the focus back on the control of the same id, if it is still there.
function keepingFocus(render) {
  const focused = document.activeElement && document.activeElement.id;
  render();
  if (focused && document.activeElement?.id !== focused) {
    const again = document.getElementById(focused);
    if (again) again.focus();
  }
}

// ---- Status bar and notices

function renderStatus() {
  const player = $('player-state');
  if (state.signedIn === null) {
    player.textContent = 'Checking…';
    player.dataset.state = 'unknown';
  } else {
    player.textContent = state.signedIn ? `Signed in${state.accountId ? ` (account ${state.accountId})` : ''}` : 'Signed out';
    player.dataset.state = state.signedIn ? 'ok' : 'problem';
  }
  const widget = $('widget-state');
  if (state.config === null) {
    widget.textContent = 'Checking…';
    widget.dataset.state = 'unknown';
  } else {
    widget.textContent = state.config.enabled ? 'On' : 'Off';
    widget.dataset.state = state.config.enabled ? 'ok' : 'problem';
  }
  const balances = state.signedIn && state.wallet && Array.isArray(state.wallet.balances) ? state.wallet.balances : [];
  $('wallet').textContent = balances.length > 0 ? balances.map((b) => formatAmount(b.amount, b.currencyType)).join(' · ') : '–';
  const live = $('live-state');
  live.textContent = { live: 'Live', connecting: 'Connecting…', reconnecting: 'Reconnecting…', offline: 'Offline, retrying' }[state.live];
  live.dataset.state = state.live === 'live' ? 'ok' : state.live === 'connecting' ? 'unknown' : 'problem';

  const notices = [];
  if (state.config && !state.config.enabled) {
    notices.push(el('div', { class: 'notice problem', id: 'notice-disabled' },
      el('strong', {}, 'The purchase widget is turned off.'),
      ' The platform configuration disables purchases; your basket is kept until it is turned on again.'));
  }
  if (state.signedIn === false) {
    notices.push(el('div', { class: 'notice problem', id: 'notice-signed-out' },
      el('strong', {}, 'You are signed out.'),
      ' Sign in to the client to validate or buy; the store refuses baskets from signed-out players.'));
  }
  if (state.live === 'offline') {
    notices.push(el('div', { class: 'notice' }, 'Live updates are unavailable; what the page shows may be out of date.'));
  }
  $('notices').replaceChildren(...notices);
  $('disclaimer').hidden = !(state.config && state.config.enabled && state.config.purchaseDisclaimerEnabled);
  renderControls();
}

// Buttons follow the configuration: nothing can be added or sent while the widget is off.
function renderControls() {
  const off = state.config !== null && !state.config.enabled;
  for (const button of document.querySelectorAll('button[data-add]')) button.disabled = off;
  $('validate').disabled = off || state.busy !== null;
  $('purchase').disabled = off || state.busy !== null;
  $('validate').setAttribute('aria-busy', String(state.busy === 'validate'));
  $('purchase').setAttribute('aria-busy', String(state.busy === 'purchase'));
}

// ---- Catalogue

function renderCatalogue() {
  const list = $('catalogue');
  const message = $('catalogue-message');
  if (!state.catalogue) return;
  const items = state.catalogue.items;
  message.textContent = items.length === 0 ? 'The store has no items.' : '';
  message.hidden = items.length !== 0;
  $('catalogue-language').textContent = state.catalogue.language ? `Names in ${state.catalogue.language}` : '';
  keepingFocus(() => {
    list.replaceChildren(...items.map((item) => {
      const key = keyOf(item.itemKey);
      const inBasket = basket.find(key);
      const full = Boolean(inBasket && inBasket.quantity >= (item.maxQuantity || 1));
      const forSale = purchasablePrices(currentPrices(item)).length > 0;
      const sales = saleTexts(item);
      return el('li', { class: 'item', 'data-key': key },
        el('div', { class: 'item-head' },
          el('h3', {}, item.name || key),
          forSale ? null : el('span', { class: 'badge' }, 'Not for sale now')),
        item.description ? el('p', { class: 'description' }, item.description) : null,
        el('p', { class: 'prices' }, el('span', { class: 'label' }, item.sale ? 'Regular price: ' : 'Price: '), priceTexts(item.prices || []).join(' · ')),
        sales.map((sale) => el('p', { class: `sale ${sale.kind}` }, sale.text)),
        el('div', { class: 'item-foot' },
          el('span', { class: 'muted' }, `${item.itemKey.inventoryType} · up to ${item.maxQuantity || 1} per purchase`),
          el('button', {
            type: 'button',
            class: 'add',
            id: idFor('add', key),
            'data-add': key,
            onclick: () => addToBasket(item),
          }, `Add ${item.name || key}`)),
        full ? el('p', { class: 'muted small' }, `In your basket: ${inBasket.quantity} (the most one purchase allows).`) : null);
    }));
  });
  renderControls();
}

async function loadCatalogue() {
  const answer = await call('GET', paths.catalogue);
  if (answer.status !== 200 || !answer.body || !Array.isArray(answer.body.items)) {
    const failure = describeFailure(answer, 'load');
    $('catalogue-message').hidden = false;
    $('catalogue-message').textContent = `The catalogue could not be loaded: ${failure.title}. ${failure.detail}`;
    return;
  }
  state.catalogue = answer.body;
  basket.renameFrom(state.catalogue.items);
  renderCatalogue();
  renderBasket();
}

function addToBasket(item) {
  if (state.config && !state.config.enabled) return;
  basket.add(item);
  renderBasket();
  renderCatalogue();
  showOutcome(null);
}

// ---- Basket

function renderBasket() {
  $('basket-empty').hidden = !basket.empty;
  keepingFocus(() => {
    $('basket').replaceChildren(...basket.lines.map((line) => {
      const usable = purchasablePrices(line.prices);
      const unit = basket.unitPrice(line);
      const quantityId = idFor('quantity', line.key);
      const currencyId = idFor('currency', line.key);
      const verdict = line.validation;
      return el('li', { class: 'line', 'data-key': line.key },
        el('div', { class: 'line-head' },
          el('span', { class: 'line-name' }, line.name),
          el('span', { class: 'line-price' }, unit ? formatAmount(unit.price * line.quantity, unit.currencyType) : 'No price')),
        el('div', { class: 'line-controls' },
          el('div', { class: 'field' },
            el('label', { for: quantityId }, 'Quantity', el('span', { class: 'visually-hidden' }, ` of ${line.name}`)),
            el('input', {
              id: quantityId,
              type: 'number',
              inputMode: 'numeric',
              min: '1',
              max: String(line.maxQuantity),
              step: '1',
              value: String(line.quantity),
              onchange: (event) => {
                basket.setQuantity(line.key, event.target.value);
                renderBasket();
                renderCatalogue();
              },
            })),
          el('div', { class: 'field grow' },
            el('label', { for: currencyId }, 'Currency', el('span', { class: 'visually-hidden' }, ` for ${line.name}`)),
            usable.length > 0
              ? el('select', {
                id: currencyId,
                onchange: (event) => {
                  basket.setCurrency(line.key, event.target.value);
                  renderBasket();
                },
              }, usable.map((price) => el('option', { value: price.currencyType, selected: price.currencyType === line.currency },
                `${formatAmount(price.price, price.currencyType)} each`)))
              : el('span', { id: currencyId, class: 'none' }, 'None available now')),
          el('button', {
            type: 'button',
            class: 'remove',
            id: idFor('remove', line.key),
            onclick: () => removeFromBasket(line.key),
          }, 'Remove', el('span', { class: 'visually-hidden' }, ` ${line.name}`))),
        verdict ? el('p', { class: `verdict ${verdict.problems.length ? 'problem' : 'ok'}` },
          verdict.problems.length ? verdict.problems.join(' ') : 'The store accepts this item.') : null);
    }));
  });
  const totals = [...basket.totals()].map(([currency, amount]) => formatAmount(amount, currency));
  $('basket-total').hidden = totals.length === 0;
  $('basket-total').textContent = `Total: ${totals.join(' + ')}`;
  const count = basket.lines.reduce((sum, line) => sum + line.quantity, 0);
  $('basket-jump').hidden = basket.empty;
  $('basket-jump').textContent = `Basket: ${count} ${count === 1 ? 'item' : 'items'}${totals.length ? ` · ${totals.join(' + ')}` : ''}`;
}

function removeFromBasket(key) {
  const index = basket.lines.findIndex((line) => line.key === key);
  basket.remove(key);
  renderBasket();
  renderCatalogue();
  // The focus goes to the next line's remove button, or back to the heading.
  const next = basket.lines[Math.min(index, basket.lines.length - 1)];
  (next ? $(idFor('remove', next.key)) : $('basket-heading')).focus();
}

// ---- Outcomes

function showOutcome(node) {
  $('outcome').replaceChildren(...(node ? [node] : []));
}

// A refusal may tell the page what it missed: the widget turned off or the player signed out.
function learnFrom(answer) {
  if (answer.status === 404 && answer.body && answer.body.error === WIDGET_DISABLED_TEXT) loadConfiguration();
  if (answer.status === 401) loadSession();
}

function failureNode(answer, operation) {
  learnFrom(answer);
  const failure = describeFailure(answer, operation);
  return el('div', { class: 'result error', role: 'alert', 'data-status': String(answer.status) },
    el('h3', {}, failure.title),
    failure.detail ? el('p', { class: 'detail' }, el('span', { class: 'label' }, answer.status === 0 ? 'Problem: ' : 'The answer said: '), failure.detail) : null,
    el('p', { class: 'advice' }, failure.advice));
}

async function runBusy(kind, work) {
  state.busy = kind;
  renderControls();
  try {
    await work();
  } finally {
    state.busy = null;
    renderControls();
  }
}

async function validate() {
  if (basket.empty) {
    showOutcome(el('div', { class: 'result' }, el('p', {}, 'Add an item to the basket first.')));
    return;
  }
  await runBusy('validate', async () => {
    const answer = await call('POST', paths.validate, basket.validationRequest());
    if (answer.status !== 200) {
      showOutcome(failureNode(answer, 'validate'));
      return;
    }
    const verdicts = basket.applyValidation(answer.body);
    renderBasket();
    const valid = answer.body && answer.body.valid === true;
    showOutcome(el('div', { class: `result ${valid ? 'success' : 'warning'}`, 'data-valid': String(valid) },
      el('h3', {}, valid ? 'The store accepts this basket' : 'The store does not accept this basket as it is'),
      el('ul', { class: 'verdicts' }, verdicts.map(({ line, answered, problems }) => {
        const prices = answered ? priceTexts(currentPrices(answered)).join(' · ') : '';
        const sale = answered && answered.sale ? ` · on sale until ${formatDate(answered.sale.endDate)}` : '';
        return el('li', { class: problems.length ? 'problem' : 'ok' },
          el('strong', {}, `${line.name} × ${answered ? answered.quantity : line.quantity}`),
          `: ${prices || 'no prices'}${sale}. `,
          problems.length ? problems.join(' ') : 'OK.');
      }))));
  });
}

async function purchase() {
  if (basket.empty) {
    showOutcome(el('div', { class: 'result' }, el('p', {}, 'Add an item to the basket first.')));
    return;
  }
  const blocked = basket.unpurchasableLines();
  if (blocked.length > 0) {
    showOutcome(el('div', { class: 'result error', role: 'alert' },
      el('h3', {}, 'Some items cannot be bought now'),
      el('p', { class: 'advice' }, `${blocked.map((line) => line.name).join(', ')}: no currency is available. Remove ${blocked.length === 1 ? 'it' : 'them'} and purchase again.`)));
    return;
  }
  await runBusy('purchase', async () => {
    const answer = await call('POST', paths.purchase, basket.purchaseRequest());
    if (answer.status !== 200) {
      if (answer.status === 409) {
        basket.applyPriceChange(answer.body);
        renderBasket();
      }
      showOutcome(failureNode(answer, 'purchase'));
      return;
    }
    const summary = purchaseSummary(answer.body);
    if (answer.body && answer.body.wallet) state.wallet = answer.body.wallet;
    basket.clear();
    renderBasket();
    renderCatalogue();
    renderStatus();
    showOutcome(el('div', { class: 'result success', 'data-purchased': 'true' },
      el('h3', {}, 'Purchase complete'),
      el('ul', { class: 'transactions' }, summary.transactions.map((t) =>
        el('li', {}, el('span', { class: 'label' }, 'Transaction '), el('code', { class: 'transaction-id' }, t.id), ` · ${t.name}`))),
      el('p', { class: 'balance' }, el('span', { class: 'label' }, 'New wallet balance: '), summary.balances.join(' · ') || 'not reported')));
  });
}

// ---- State from the host

async function loadConfiguration() {
  const answer = await call('GET', paths.configuration);
  if (answer.status === 200) {
    state.config = readConfiguration(answer.body);
    renderStatus();
  }
}

// Read from the host's list of resources, where a missing session is no error (its own path
// answers 404 then).
async function loadSession() {
  const answer = await call('GET', paths.resources);
  if (answer.status === 200 && answer.body && typeof answer.body === 'object') applySession(answer.body[SESSION_URI] ?? null);
}

function applySession(session) {
  state.signedIn = isSignedIn(session);
  state.accountId = state.signedIn ? String(session.accountId) : null;
  renderStatus();
  return loadWallet();
}

async function loadWallet() {
  if (!state.signedIn) {
    state.wallet = null;
    renderStatus();
    return;
  }
  const answer = await call('GET', paths.wallet);
  state.wallet = answer.status === 200 ? answer.body : null;
  renderStatus();
}

function refreshAll() {
  return Promise.all([loadConfiguration(), loadSession(), loadCatalogue()]);
}

function onChange(change) {
  if (change.uri === CONFIGURATION_URI) {
    state.config = readConfiguration(change.data);
    renderStatus();
  } else if (change.uri === SESSION_URI) {
    applySession(change.eventType === 'Delete' ? null : change.data);
  } else if (change.uri === LOCALE_URI) {
    loadCatalogue();
  }
}

function start() {
  // The bar that leads to the basket is not needed while the basket is in view.
  if ('IntersectionObserver' in window) {
    new IntersectionObserver((entries) => {
      for (const entry of entries) document.body.classList.toggle('basket-in-view', entry.isIntersecting);
    }).observe(document.querySelector('.basket'));
  }
  $('validate').addEventListener('click', validate);
  $('purchase').addEventListener('click', purchase);
  renderStatus();
  renderBasket();
  refreshAll();
  listen(paths.events, {
    // Changes made before the stream was open (or while it was down) arrived nowhere.
    onOpen: refreshAll,
    onChange,
    onState: (live) => {
      state.live = live;
      renderStatus();
    },
  });
}

start();
