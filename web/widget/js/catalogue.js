// Reading the store's items: keys, the prices that apply now (a running sale's, else the
// regular ones), and the texts the page shows for prices and sale windows.

export function keyOf(itemKey) {
  return `${itemKey.inventoryType}:${itemKey.itemId}`;
}

// The prices that apply now: a running sale's prices replace the regular ones.
export function currentPrices(item) {
  if (item.sale && Array.isArray(item.sale.prices)) return item.sale.prices;
  return Array.isArray(item.prices) ? item.prices : [];
}

export function purchasablePrices(prices) {
  return prices.filter((price) => price.purchasable === true);
}

export function formatAmount(amount, currencyType) {
  const number = Number.isFinite(amount) ? amount.toLocaleString('en-US') : String(amount);
  return `${number} ${currencyType}`;
}

const dateFormat = new Intl.DateTimeFormat('en-GB', {
  day: 'numeric',
  month: 'short',
  year: 'numeric',
  hour: '2-digit',
  minute: '2-digit',
  timeZone: 'UTC',
  timeZoneName: 'short',
});

// A store date ("2100-01-01T00:00:00Z") as "1 Jan 2100, 00:00 UTC"; a text that is not a date
// stays as it is.
export function formatDate(text) {
  const time = Date.parse(text);
  return Number.isNaN(time) ? String(text) : dateFormat.format(new Date(time));
}

// One line per price, "790 GEM", with " (not for sale)" where it cannot be used.
export function priceTexts(prices) {
  return prices.map((price) => formatAmount(price.price, price.currencyType) + (price.purchasable ? '' : ' (not for sale)'));
}

// What the page says about an item's sales: the running one with the regular price it replaces,
// then any that is still to come. Past sales are left out.
export function saleTexts(item) {
  const texts = [];
  const sales = Array.isArray(item.sales) ? item.sales : [];
  for (const sale of sales) {
    const now = sale.state === 'running' || (item.sale && sale.startDate === item.sale.startDate && sale.endDate === item.sale.endDate);
    if (now) {
      const regular = new Map((item.prices || []).map((price) => [price.currencyType, price.price]));
      const offers = purchasablePrices(sale.prices || []).map((price) => {
        const was = regular.get(price.currencyType);
        return formatAmount(price.price, price.currencyType) + (was !== undefined && was !== price.price ? ` (was ${formatAmount(was, price.currencyType)})` : '');
      });
      texts.push({ kind: 'running', text: `On sale until ${formatDate(sale.endDate)}: ${offers.join(', ') || 'no price'}` });
    } else if (sale.state === 'upcoming') {
      texts.push({ kind: 'upcoming', text: `Sale from ${formatDate(sale.startDate)} to ${formatDate(sale.endDate)}` });
    }
  }
  return texts;
}
