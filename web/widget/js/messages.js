// What the page tells a person about an answer that is not a success: a title saying what
// happened, the detail as the plugin or the store put it, and what to do next. The plugin passes
// the store's own 4xx and 5xx answers on with their status and body; its own errors are
// {"error": text} (404 while the widget is disabled, 500 when the store cannot be reached or
// answers something unusable).

import { formatAmount } from './catalogue.js';

export const WIDGET_DISABLED_TEXT = 'purchase widget not enabled';

// The readable text of an HTML page (a store's maintenance page), without markup.
export function pageText(html) {
  return String(html)
    .replace(/<(script|style|head)\b[^>]*>[\s\S]*?<\/\1\s*>/gi, ' ')
    .replace(/<!--[\s\S]*?-->/g, ' ')
    .replace(/<[^>]*>/g, ' ')
    .replace(/&nbsp;/g, ' ')
    .replace(/&lt;/g, '<')
    .replace(/&gt;/g, '>')
    .replace(/&quot;/g, '"')
    .replace(/&#39;/g, "'")
    .replace(/&amp;/g, '&')
    .replace(/\s+/g, ' ')
    .trim();
}

const LIMIT = 600;

function shorten(text) {
  return text.length > LIMIT ? `${text.slice(0, LIMIT)}…` : text;
}

// The error text of a body: its "error" member, a text body as page text, else the JSON.
export function detailOf(body) {
  if (body === null || body === undefined) return '';
  if (typeof body === 'string') return shorten(/<[a-z!/]/i.test(body) ? pageText(body) : body.trim());
  if (typeof body === 'object' && typeof body.error === 'string') return shorten(body.error);
  return shorten(JSON.stringify(body));
}

const ACTION = { validate: 'validate', purchase: 'buy' };

// {title, detail, advice} for an answer {status, body, networkError}; `operation` is "validate"
// or "purchase" (or anything else for other requests).
export function describeFailure(answer, operation) {
  const { status, body } = answer;
  const detail = detailOf(body);
  const act = ACTION[operation] || 'continue';
  if (status === 0) {
    return {
      title: 'The development host did not answer',
      detail: answer.networkError || '',
      advice: 'Check that the host is still running, then try again.',
    };
  }
  if (status === 401) {
    return {
      title: 'You are signed out (401)',
      detail,
      advice: `Sign in to the client, then ${act} again. The store accepts baskets only from a signed-in player.`,
    };
  }
  if (status === 404 && body && body.error === WIDGET_DISABLED_TEXT) {
    return {
      title: 'The purchase widget is turned off (404)',
      detail,
      advice: 'The platform configuration disables purchases. Nothing was sent to the store; try again once it is turned on.',
    };
  }
  if (status === 409) {
    const price = body && Number.isInteger(body.price) ? ` The current price is ${body.price}.` : '';
    return {
      title: 'The price has changed (409)',
      detail,
      advice: `Nothing was bought.${price} Validate the basket to see the current prices, then purchase again.`,
    };
  }
  if (status === 402) {
    const needs = body && typeof body.currencyType === 'string' && Number.isFinite(body.required) && Number.isFinite(body.balance)
      ? ` The basket costs ${formatAmount(body.required, body.currencyType)}; the wallet holds ${formatAmount(body.balance, body.currencyType)}.`
      : '';
    return {
      title: 'The wallet cannot pay for this (402)',
      detail,
      advice: `Nothing was bought.${needs} Remove items, lower quantities or choose another currency.`,
    };
  }
  if (status === 400) {
    return {
      title: 'The basket was refused as invalid (400)',
      detail,
      advice: 'Check the items and their quantities, then validate again.',
    };
  }
  if (status === 500) {
    const text = body && typeof body.error === 'string' ? body.error : '';
    if (text.startsWith('Could not connect to the server')) {
      return {
        title: 'The store could not be reached (500)',
        detail,
        advice: 'Nothing was bought. The store is unreachable from the client; try again later.',
      };
    }
    return {
      title: 'The store gave an answer that could not be used (500)',
      detail,
      advice: 'The plugin could not read what the store answered. Try again later.',
    };
  }
  if (status >= 500) {
    return {
      title: `The store is not working (${status})`,
      detail: detail || 'The store sent no explanation.',
      advice: `Try again later; it is not a problem with your basket.`,
    };
  }
  if (status === 404) {
    return { title: 'Not found (404)', detail, advice: 'The plugin or the store does not know this request.' };
  }
  return {
    title: `Unexpected answer (${status})`,
    detail,
    advice: 'Try again; if it keeps happening, the plugin and the page may be out of step.',
  };
}

// The lines of a successful purchase: one per transaction, and the wallet's balances.
export function purchaseSummary(body) {
  const transactions = Array.isArray(body && body.transactions) ? body.transactions : [];
  const balances = Array.isArray(body && body.wallet && body.wallet.balances) ? body.wallet.balances : [];
  return {
    transactions: transactions.map((transaction) => ({
      id: String(transaction.transactionId ?? ''),
      name: String(transaction.itemName || (transaction.itemKey ? `${transaction.itemKey.inventoryType}:${transaction.itemKey.itemId}` : '')),
    })),
    balances: balances.map((balance) => formatAmount(balance.amount, balance.currencyType)),
  };
}
