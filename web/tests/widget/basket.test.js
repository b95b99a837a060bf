// The basket's rules: quantities within an item's limit, the currency chosen per item, the
// requests sent to the plugin, and what a validation or a price change does to the lines.
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { Basket, PURCHASE_SOURCE } from '../../widget/js/basket.js';

const companion = {
  itemKey: { inventoryType: 'COMPANION', itemId: 101 },
  name: 'Lantern Familiar',
  maxQuantity: 1,
  prices: [
    { currencyType: 'GEM', price: 790, purchasable: true },
    { currencyType: 'COIN', price: 6300, purchasable: true },
  ],
  sale: null,
};
const banner = {
  itemKey: { inventoryType: 'BANNER', itemId: 202 },
  name: 'Copper Banner',
  maxQuantity: 1,
  prices: [{ currencyType: 'GEM', price: 520, purchasable: true }],
  sale: { startDate: '2000-01-01T00:00:00Z', endDate: '2100-01-01T00:00:00Z', prices: [{ currencyType: 'GEM', price: 260, purchasable: true }] },
};
const boost = {
  itemKey: { inventoryType: 'BOOST', itemId: 303 },
  name: 'Experience Boost',
  maxQuantity: 10,
  prices: [
    { currencyType: 'COIN', price: 1200, purchasable: false },
    { currencyType: 'GEM', price: 150, purchasable: true },
  ],
};
const emote = {
  itemKey: { inventoryType: 'EMOTE', itemId: 404 },
  name: 'Polite Wave',
  maxQuantity: 1,
  prices: [{ currencyType: 'GEM', price: 350, purchasable: false }],
};

test('quantities stay between one and the item limit, whatever is typed', () => {
  const basket = new Basket();
  basket.add(boost);
  basket.add(boost);
  assert.equal(basket.lines.length, 1);
  assert.equal(basket.lines[0].quantity, 2);
  for (const [typed, kept] of [['5', 5], ['11', 10], ['0', 1], ['-3', 1], ['abc', 1], ['2.9', 2], ['', 1], ['1e3', 10]]) {
    assert.equal(basket.setQuantity('BOOST:303', typed), kept, `typed ${typed}`);
  }
  basket.add(companion);
  basket.add(companion);
  assert.equal(basket.find('COMPANION:101').quantity, 1, 'adding again stops at the limit');
  assert.equal(basket.setQuantity('NOPE:1', 3), null);
});

test('the purchase request carries the sale price and the chosen currency of each item', () => {
  const basket = new Basket();
  basket.add(banner);
  basket.add(companion);
  basket.add(boost);
  assert.equal(basket.find('BOOST:303').currency, 'GEM', 'the first currency that can be used');
  basket.setCurrency('COMPANION:101', 'COIN');
  basket.setCurrency('BOOST:303', 'COIN'); // not purchasable: refused
  basket.setQuantity('BOOST:303', 3);
  assert.deepEqual(basket.purchaseRequest(), {
    items: [
      { itemKey: { inventoryType: 'BANNER', itemId: 202 }, quantity: 1, source: PURCHASE_SOURCE, purchaseCurrencyInfo: { currencyType: 'GEM', price: 260, purchasable: true } },
      { itemKey: { inventoryType: 'COMPANION', itemId: 101 }, quantity: 1, source: PURCHASE_SOURCE, purchaseCurrencyInfo: { currencyType: 'COIN', price: 6300, purchasable: true } },
      { itemKey: { inventoryType: 'BOOST', itemId: 303 }, quantity: 3, source: PURCHASE_SOURCE, purchaseCurrencyInfo: { currencyType: 'GEM', price: 150, purchasable: true } },
    ],
  });
  assert.deepEqual(basket.validationRequest(), {
    items: [
      { itemKey: { inventoryType: 'BANNER', itemId: 202 }, quantity: 1 },
      { itemKey: { inventoryType: 'COMPANION', itemId: 101 }, quantity: 1 },
      { itemKey: { inventoryType: 'BOOST', itemId: 303 }, quantity: 3 },
    ],
  });
  assert.deepEqual([...basket.totals()], [['GEM', 260 + 450], ['COIN', 6300]]);
  // The request is a copy: changing it does not change the basket.
  basket.purchaseRequest().items[0].itemKey.itemId = 1;
  assert.equal(basket.lines[0].itemKey.itemId, 202);
});

test('an item without a usable price is never sent for purchase but is named', () => {
  const basket = new Basket();
  basket.add(emote);
  basket.add(companion);
  assert.equal(basket.find('EMOTE:404').currency, null);
  assert.deepEqual(basket.purchaseRequest().items.map((item) => item.itemKey.itemId), [101]);
  assert.deepEqual(basket.unpurchasableLines().map((line) => line.key), ['EMOTE:404']);
  assert.deepEqual([...basket.totals()], [['GEM', 790]]);
  basket.remove('EMOTE:404');
  assert.deepEqual(basket.unpurchasableLines(), []);
  basket.clear();
  assert.ok(basket.empty);
});

test('a validation takes over the store prices and names and says what is wrong per item', () => {
  const basket = new Basket();
  basket.add(companion);
  basket.add(emote);
  basket.add(banner);
  basket.setCurrency('COMPANION:101', 'COIN');
  const verdicts = basket.applyValidation({
    valid: false,
    items: [
      // The store no longer sells the companion for coins and has a new name for it.
      { itemKey: { inventoryType: 'COMPANION', itemId: 101 }, quantity: 1, name: 'Laternengefährte', prices: [{ currencyType: 'GEM', price: 800, purchasable: true }], sale: null },
      { itemKey: { inventoryType: 'EMOTE', itemId: 404 }, quantity: 1, name: '', prices: [{ currencyType: 'GEM', price: 350, purchasable: false }], sale: null },
    ],
  });
  assert.deepEqual(verdicts.map((v) => v.problems), [[], ['Not for sale at the moment.'], ['The store did not mention this item.']]);
  const line = basket.find('COMPANION:101');
  assert.equal(line.name, 'Laternengefährte');
  assert.equal(line.currency, 'GEM', 'a currency the store dropped falls back to one it takes');
  assert.equal(basket.unitPrice(line).price, 800);
  assert.equal(basket.find('EMOTE:404').name, 'Polite Wave', 'an empty name keeps the one known');
  // Changing the basket afterwards clears the verdict of that line.
  basket.setQuantity('COMPANION:101', 1);
  assert.equal(basket.find('COMPANION:101').validation, null);
  assert.deepEqual(basket.applyValidation(null).map((v) => v.problems.length), [1, 1, 1]);
});

test('a price change reported by the store updates the price of the chosen currency only', () => {
  const basket = new Basket();
  basket.add(companion);
  assert.ok(basket.applyPriceChange({ error: 'the price of COMPANION:101 in GEM is 800', itemKey: { inventoryType: 'COMPANION', itemId: 101 }, price: 800 }));
  assert.deepEqual(basket.find('COMPANION:101').prices.map((p) => p.price), [800, 6300]);
  assert.equal(basket.applyPriceChange({ itemKey: { inventoryType: 'X', itemId: 1 }, price: 5 }), null);
  assert.equal(basket.applyPriceChange({ error: 'no detail' }), null);
  assert.equal(basket.applyPriceChange('<html>'), null);
});

test('another language renames the lines already in the basket', () => {
  const basket = new Basket();
  basket.add(companion);
  basket.renameFrom([{ ...companion, name: 'Familier lanterne' }, { ...banner, name: 'x' }]);
  assert.equal(basket.lines[0].name, 'Familier lanterne');
  assert.equal(basket.lines.length, 1);
});
