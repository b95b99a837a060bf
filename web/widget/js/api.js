// Calls from the page to the host. Every answer comes back as a value, errors included, so the
// page can show exactly what the plugin or the host said: {status, body, text}, with body the
// parsed JSON (or the text when it is not JSON, or null when empty). A request that got no answer
// at all has status 0 and a networkError text.

// Longer than the host's own timeout for store calls, so a slow store is reported by the plugin.
export const REQUEST_TIMEOUT_MS = 30000;

export function parseBody(text) {
  if (text === '') return null;
  try {
    return JSON.parse(text);
  } catch {
    return text;
  }
}

export async function call(method, path, body, { fetchImpl = globalThis.fetch, timeoutMs = REQUEST_TIMEOUT_MS } = {}) {
  const init = { method, headers: { Accept: 'application/json' }, cache: 'no-store' };
  if (body !== undefined) {
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  if (typeof AbortSignal !== 'undefined' && AbortSignal.timeout) init.signal = AbortSignal.timeout(timeoutMs);
  let response;
  try {
    response = await fetchImpl(path, init);
  } catch (error) {
    const timedOut = error && error.name === 'TimeoutError';
    return {
      status: 0,
      body: null,
      text: '',
      networkError: timedOut ? `no answer within ${timeoutMs / 1000} s` : String((error && error.message) || error),
    };
  }
  let text = '';
  try {
    text = await response.text();
  } catch (error) {
    return { status: 0, body: null, text: '', networkError: `the answer broke off: ${(error && error.message) || error}` };
  }
  return { status: response.status, body: parseBody(text), text };
}

export const paths = Object.freeze({
  configuration: '/tev-purchase-widget/v1/configuration',
  validate: '/tev-purchase-widget/v1/validateItems',
  purchase: '/tev-purchase-widget/v1/purchaseItems',
  resources: '/devhost/v1/resources',
  catalogue: '/devhost/v1/store/catalogue',
  wallet: '/devhost/v1/store/wallet',
  events: '/devhost/v1/events/stream',
});
