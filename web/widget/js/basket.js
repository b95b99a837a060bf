// The basket: items with quantities and the currency chosen for each, the requests built from
// it for the plugin's validateItems and purchaseItems, and what a validation said per item.
// Plain data; the page renders it.

import { currentPrices, keyOf, purchasablePrices } from './catalogue.js';

export const PURCHASE_SOURCE = 'purchase-widget';

function clampQuantity(value, maxQuantity) {
  const number = Math.trunc(Number(value));
  if (!Number.isFinite(number) || number < 1) return 1;
  return Math.min(number, Math.max(1, maxQuantity));
}

export class Basket {
  constructor() {
    this.lines = [];
  }

  get empty() {
    return this.lines.length === 0;
  }

  find(key) {
    return this.lines.find((line) => line.key === key);
  }

  // Adds one of a catalogue item, up to its limit. Returns the line.
  add(item) {
    const key = keyOf(item.itemKey);
    const existing = this.find(key);
    if (existing) {
      existing.quantity = clampQuantity(existing.quantity + 1, existing.maxQuantity);
      existing.validation = null;
      return existing;
    }
    const prices = currentPrices(item);
    const usable = purchasablePrices(prices);
    const line = {
      key,
      itemKey: { inventoryType: item.itemKey.inventoryType, itemId: item.itemKey.itemId },
      name: item.name || key,
      maxQuantity: Number.isInteger(item.maxQuantity) && item.maxQuantity > 0 ? item.maxQuantity : 1,
      quantity: 1,
      prices,
      currency: usable.length > 0 ? usable[0].currencyType : null,
      validation: null,
    };
    this.lines.push(line);
    return line;
  }

  remove(key) {
    this.lines = this.lines.filter((line) => line.key !== key);
  }

  clear() {
    this.lines = [];
  }

  setQuantity(key, value) {
    const line = this.find(key);
    if (!line) return null;
    line.quantity = clampQuantity(value, line.maxQuantity);
    line.validation = null;
    return line.quantity;
  }

  setCurrency(key, currencyType) {
    const line = this.find(key);
    if (!line) return;
    if (purchasablePrices(line.prices).some((price) => price.currencyType === currencyType)) line.currency = currencyType;
  }

  // The price the line will be bought at, or null when its currency cannot be used.
  unitPrice(line) {
    return purchasablePrices(line.prices).find((price) => price.currencyType === line.currency) || null;
  }

  // Amount per currency over every line that has a usable price.
  totals() {
    const totals = new Map();
    for (const line of this.lines) {
      const price = this.unitPrice(line);
      if (price) totals.set(price.currencyType, (totals.get(price.currencyType) || 0) + price.price * line.quantity);
    }
    return totals;
  }

  validationRequest() {
    return { items: this.lines.map((line) => ({ itemKey: { ...line.itemKey }, quantity: line.quantity })) };
  }

  // Lines without a usable currency are left out; unpurchasableLines() names them.
  purchaseRequest() {
    const items = [];
    for (const line of this.lines) {
      const price = this.unitPrice(line);
      if (!price) continue;
      items.push({
        itemKey: { ...line.itemKey },
        quantity: line.quantity,
        source: PURCHASE_SOURCE,
        purchaseCurrencyInfo: { currencyType: price.currencyType, price: price.price, purchasable: true },
      });
    }
    return { items };
  }

  unpurchasableLines() {
    return this.lines.filter((line) => !this.unitPrice(line));
  }

  // Takes over what the store said about each item (its answer lists them in request order,
  // matched here by key): current prices, name, and a verdict per line. Returns the verdicts in
  // basket order, each {line, answered, problems}.
  applyValidation(answer) {
    const answered = new Map();
    for (const item of Array.isArray(answer && answer.items) ? answer.items : []) {
      if (item && item.itemKey) answered.set(keyOf(item.itemKey), item);
    }
    return this.lines.map((line) => {
      const item = answered.get(line.key);
      const problems = [];
      if (!item) {
        problems.push('The store did not mention this item.');
      } else {
        if (typeof item.name === 'string' && item.name !== '') line.name = item.name;
        line.prices = currentPrices(item);
        const usable = purchasablePrices(line.prices);
        if (!usable.some((price) => price.currencyType === line.currency)) line.currency = usable.length > 0 ? usable[0].currencyType : null;
        if (usable.length === 0) problems.push('Not for sale at the moment.');
        if (line.quantity > line.maxQuantity) problems.push(`At most ${line.maxQuantity} can be bought.`);
      }
      line.validation = { item: item || null, problems };
      return { line, answered: item || null, problems };
    });
  }

  // After a 409: the store names the item and its current price in the chosen currency.
  applyPriceChange(body) {
    if (!body || !body.itemKey || !Number.isInteger(body.price)) return null;
    const line = this.find(keyOf(body.itemKey));
    if (!line || !line.currency) return null;
    line.prices = line.prices.map((price) => (price.currencyType === line.currency ? { ...price, price: body.price } : price));
    return line;
  }

  // New catalogue texts (another language) for the lines already in the basket.
  renameFrom(items) {
    const names = new Map(items.map((item) => [keyOf(item.itemKey), item.name]));
    for (const line of this.lines) {
      const name = names.get(line.key);
      if (name) line.name = name;
    }
  }
}
