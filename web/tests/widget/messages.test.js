// What a person is told for each answer that is not a success, and how a purchase is summed up.
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { describeFailure, detailOf, pageText, purchaseSummary } from '../../widget/js/messages.js';

test('every refusal says what happened, in the words of the answer, and what to do', () => {
  const rows = [
    [{ status: 401, body: { error: 'missing or unknown bearer token' } }, 'purchase', /signed out \(401\)/, 'missing or unknown bearer token', /Sign in to the client, then buy again/],
    [{ status: 404, body: { error: 'purchase widget not enabled' } }, 'validate', /turned off \(404\)/, 'purchase widget not enabled', /Nothing was sent/],
    [{ status: 404, body: { error: 'Invalid function' } }, 'validate', /^Not found \(404\)$/, 'Invalid function', /does not know/],
    [{ status: 409, body: { error: 'the price of COMPANION:101 in GEM is 790', price: 790 } }, 'purchase', /price has changed \(409\)/, 'the price of COMPANION:101 in GEM is 790', /current price is 790\. Validate/],
    [{ status: 402, body: { error: 'insufficient funds', currencyType: 'GEM', balance: 100, required: 9999 } }, 'purchase', /cannot pay.*\(402\)/, 'insufficient funds', /costs 9,999 GEM; the wallet holds 100 GEM/],
    [{ status: 400, body: { error: 'unknown item COMPANION:999' } }, 'validate', /refused as invalid \(400\)/, 'unknown item COMPANION:999', /quantities/],
    [{ status: 500, body: { error: 'Could not connect to the server: connection refused' } }, 'purchase', /could not be reached \(500\)/, 'Could not connect to the server: connection refused', /Nothing was bought/],
    [{ status: 500, body: { error: 'Could not decode body returned from the server: 200 - body was empty' } }, 'validate', /could not be used \(500\)/, 'Could not decode body returned from the server: 200 - body was empty', /could not read/],
    [{ status: 503, body: '<html><head><title>x</title></head><body><h1>Down</h1><p>Back at 10:00 &amp; later</p></body></html>' }, 'validate', /not working \(503\)/, 'Down Back at 10:00 & later', /Try again later/],
    [{ status: 502, body: null }, 'validate', /not working \(502\)/, 'The store sent no explanation.', /Try again later/],
    [{ status: 0, body: null, networkError: 'Failed to fetch' }, 'validate', /did not answer/, 'Failed to fetch', /still running/],
    [{ status: 418, body: { teapot: true } }, 'validate', /Unexpected answer \(418\)/, '{"teapot":true}', /Try again/],
  ];
  for (const [answer, operation, title, detail, advice] of rows) {
    const failure = describeFailure(answer, operation);
    assert.match(failure.title, title, `title for ${answer.status}`);
    assert.equal(failure.detail, detail, `detail for ${answer.status}`);
    assert.match(failure.advice, advice, `advice for ${answer.status}`);
  }
  // A 402 without the store's figures still reads well.
  assert.match(describeFailure({ status: 402, body: { error: 'insufficient funds' } }, 'purchase').advice, /^Nothing was bought\. Remove items/);
});

test('a store page becomes its readable text and long details are cut', () => {
  assert.equal(pageText('<style>h1{}</style><script>alert(1)</script><!-- x --><h1>Maintenance</h1>\n<p>Soon&nbsp;back</p>'), 'Maintenance Soon back');
  assert.equal(pageText('&lt;b&gt; &quot;q&quot; &#39;s&#39;'), '<b> "q" \'s\'');
  assert.equal(detailOf('  plain text  '), 'plain text');
  assert.equal(detailOf(null), '');
  assert.equal(detailOf(['a']), '["a"]');
  const long = detailOf({ error: 'x'.repeat(2000) });
  assert.equal(long.length, 601);
  assert.ok(long.endsWith('…'));
});

test('a purchase is summed up as its transactions and the new balances', () => {
  const summary = purchaseSummary({
    items: [],
    transactions: [
      { transactionId: 'txn-1001-1', itemKey: { inventoryType: 'BANNER', itemId: 202 }, itemName: 'Copper Banner', iconUrl: '' },
      { transactionId: 'txn-1001-2', itemKey: { inventoryType: 'BOOST', itemId: 303 }, itemName: '' },
    ],
    wallet: { accountId: 1001, balances: [{ currencyType: 'COIN', amount: 20000 }, { currencyType: 'GEM', amount: 4740 }], version: 2 },
  });
  assert.deepEqual(summary, {
    transactions: [{ id: 'txn-1001-1', name: 'Copper Banner' }, { id: 'txn-1001-2', name: 'BOOST:303' }],
    balances: ['20,000 COIN', '4,740 GEM'],
  });
  assert.deepEqual(purchaseSummary('odd'), { transactions: [], balances: [] });
});
