// What the page reads from the host: the signed-in rule, the configuration flags, the prices
// and sale texts of the catalogue, the event stream's messages, and answers of every kind.
import { test, mock } from 'node:test';
import assert from 'node:assert/strict';

import { call, parseBody } from '../../widget/js/api.js';
import { currentPrices, formatDate, saleTexts } from '../../widget/js/catalogue.js';
import { listen, resourceChange } from '../../widget/js/live.js';
import { isSignedIn, readConfiguration } from '../../widget/js/session.js';

test('signed in means a succeeded session naming both a player and an account', () => {
  const good = { state: 'SUCCEEDED', accountId: 1001, tivanId: 5001, idToken: 't' };
  assert.equal(isSignedIn(good), true);
  assert.equal(isSignedIn({ ...good, state: 1 }), true);
  assert.equal(isSignedIn({ ...good, accountId: '18446744073709551615' }), true);
  for (const session of [null, undefined, 'SUCCEEDED', [], { ...good, state: 'LOGGING_OUT' }, { ...good, state: 'ERROR' },
    { ...good, accountId: 0 }, { ...good, tivanId: '0' }, { ...good, accountId: '' }, { ...good, tivanId: undefined }, { ...good, accountId: '12a' }]) {
    assert.equal(isSignedIn(session), false, JSON.stringify(session));
  }
});

test('configuration flags are on only when exactly true', () => {
  assert.deepEqual(readConfiguration({ enabled: true, purchaseDisclaimerEnabled: true }), { enabled: true, purchaseDisclaimerEnabled: true });
  assert.deepEqual(readConfiguration({ enabled: 'true', purchaseDisclaimerEnabled: 1 }), { enabled: false, purchaseDisclaimerEnabled: false });
  assert.deepEqual(readConfiguration(null), { enabled: false, purchaseDisclaimerEnabled: false });
});

test('a running sale replaces the prices and is described with what it replaces', () => {
  const item = {
    prices: [{ currencyType: 'GEM', price: 520, purchasable: true }],
    sales: [
      { startDate: '2000-01-01T00:00:00Z', endDate: '2001-01-01T00:00:00Z', prices: [], state: 'past' },
      { startDate: '2001-01-01T00:00:00Z', endDate: '2100-01-01T00:00:00Z', prices: [{ currencyType: 'GEM', price: 260, purchasable: true }], state: 'running' },
      { startDate: '2101-01-01T00:00:00Z', endDate: '2102-01-01T00:00:00Z', prices: [], state: 'upcoming' },
    ],
  };
  item.sale = item.sales[1];
  assert.deepEqual(currentPrices(item), [{ currencyType: 'GEM', price: 260, purchasable: true }]);
  assert.deepEqual(currentPrices({ prices: item.prices, sale: null }), item.prices);
  assert.deepEqual(currentPrices({}), []);
  assert.deepEqual(saleTexts(item), [
    { kind: 'running', text: 'On sale until 1 Jan 2100, 00:00 UTC: 260 GEM (was 520 GEM)' },
    { kind: 'upcoming', text: 'Sale from 1 Jan 2101, 00:00 UTC to 1 Jan 2102, 00:00 UTC' },
  ]);
  assert.equal(formatDate('soon'), 'soon');
});

test('stream messages yield resource changes and nothing else', () => {
  assert.deepEqual(resourceChange('{"id":3,"name":"OnJsonApiEvent","source":"plugin","payload":{"uri":"/tev-purchase-widget/v1/configuration","eventType":"Update","data":{"enabled":false}}}'), {
    uri: '/tev-purchase-widget/v1/configuration', eventType: 'Update', data: { enabled: false }, source: 'plugin',
  });
  assert.deepEqual(resourceChange('{"payload":{"uri":"/tev-login/v1/session","eventType":2}}'), { uri: '/tev-login/v1/session', eventType: '2', data: null, source: undefined });
  for (const text of ['', 'not json', 'null', '{"payload":null}', '{"payload":{"uri":5}}', '{"truncated":true,"payload":null}']) {
    assert.equal(resourceChange(text), null, text);
  }
});

class FakeEventSource {
  static CONNECTING = 0;
  static OPEN = 1;
  static CLOSED = 2;
  static made = [];
  constructor(url) {
    this.url = url;
    this.readyState = FakeEventSource.CONNECTING;
    this.listeners = {};
    this.closed = false;
    FakeEventSource.made.push(this);
  }
  addEventListener(type, callback) {
    (this.listeners[type] ||= []).push(callback);
  }
  emit(type, event = {}) {
    for (const callback of this.listeners[type] || []) callback(event);
  }
  close() {
    this.closed = true;
    this.readyState = FakeEventSource.CLOSED;
  }
}

test('the listener reports its state, hands on changes and reconnects after the browser gives up', () => {
  mock.timers.enable({ apis: ['setTimeout'] });
  try {
    FakeEventSource.made = [];
    const states = [];
    const changes = [];
    let opens = 0;
    const stop = listen('/stream', {
      onOpen: () => { opens += 1; },
      onChange: (change) => changes.push(change.uri),
      onState: (state) => states.push(state),
      retryMs: 5000,
      EventSourceImpl: FakeEventSource,
    });
    const first = FakeEventSource.made[0];
    first.emit('open');
    first.emit('OnJsonApiEvent', { data: '{"payload":{"uri":"/a","eventType":"Update","data":1}}' });
    first.emit('OnJsonApiEvent', { data: 'garbage' });
    first.readyState = FakeEventSource.CONNECTING;
    first.emit('error'); // the browser retries by itself
    assert.equal(FakeEventSource.made.length, 1);
    first.readyState = FakeEventSource.CLOSED;
    first.emit('error'); // it gave up: try again later
    mock.timers.tick(4999);
    assert.equal(FakeEventSource.made.length, 1);
    mock.timers.tick(1);
    assert.equal(FakeEventSource.made.length, 2);
    FakeEventSource.made[1].emit('open');
    assert.deepEqual(states, ['live', 'reconnecting', 'offline', 'live']);
    assert.deepEqual(changes, ['/a']);
    assert.equal(opens, 2);
    stop();
    assert.ok(FakeEventSource.made[1].closed);
    FakeEventSource.made[1].readyState = FakeEventSource.CLOSED;
    FakeEventSource.made[1].emit('error');
    mock.timers.tick(10000);
    assert.equal(FakeEventSource.made.length, 2, 'no reconnection once stopped');
  } finally {
    mock.timers.reset();
  }
});

test('answers of every kind come back as values, with no exception', async () => {
  const respond = (status, text) => async () => ({ status, text: async () => text });
  assert.deepEqual(await call('GET', '/x', undefined, { fetchImpl: respond(200, '{"a":1}') }), { status: 200, body: { a: 1 }, text: '{"a":1}' });
  assert.deepEqual(await call('GET', '/x', undefined, { fetchImpl: respond(503, '"<h1>down</h1>"') }), { status: 503, body: '<h1>down</h1>', text: '"<h1>down</h1>"' });
  assert.deepEqual((await call('GET', '/x', undefined, { fetchImpl: respond(502, '<h1>bad gateway</h1>') })).body, '<h1>bad gateway</h1>');
  assert.equal((await call('GET', '/x', undefined, { fetchImpl: respond(204, '') })).body, null);
  const refused = await call('POST', '/x', { a: 1 }, { fetchImpl: async () => { throw new TypeError('Failed to fetch'); } });
  assert.deepEqual(refused, { status: 0, body: null, text: '', networkError: 'Failed to fetch' });
  const broken = await call('GET', '/x', undefined, { fetchImpl: async () => ({ status: 200, text: async () => { throw new Error('reset'); } }) });
  assert.equal(broken.status, 0);
  assert.match(broken.networkError, /broke off: reset/);
  let sent;
  await call('POST', '/y', { items: [] }, { fetchImpl: async (path, init) => { sent = { path, init }; return { status: 200, text: async () => '' }; } });
  assert.equal(sent.path, '/y');
  assert.equal(sent.init.body, '{"items":[]}');
  assert.equal(sent.init.headers['Content-Type'], 'application/json');
  assert.equal(parseBody('nul'), 'nul');
});
