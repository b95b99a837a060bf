// The purchase widget page in Chromium against the real host, plugin and embedded store: a
// purchase from start to end, state changes made through the control API appearing without a
// reload, every kind of refusal shown as the plugin answered it, the keyboard, a phone-sized
// screen, and the start page.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';

import { Host, NARROW, WIDE, launchBrowser, openPage, screenshot, unexpectedProblems, unusedPort } from './support.js';

const SESSION = '/devhost/v1/resources/tev-login/v1/session';
const PLATFORM_CONFIG = '/devhost/v1/resources/tev-platform-config/v1/namespaces/HuxPurchaseWidget';
const LOCALE = '/devhost/v1/resources/orvikclient/region-locale';
const FAULT = '/devhost/v1/store/fault';

let browser;

before(async () => {
  browser = await launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
});

// Runs `body(page, host)` on a fresh host, then checks the console and stops the host.
async function withWidget(viewport, body, { expectedStatuses = [], expectedProblems = [], hostArguments = [] } = {}) {
  const host = await new Host(hostArguments).start();
  const page = await openPage(browser, viewport);
  try {
    await page.goto(`${host.url}/widget/`);
    await page.getByRole('button', { name: 'Add Copper Banner' }).waitFor();
    await page.locator('#live-state', { hasText: 'Live' }).waitFor();
    await body(page, host);
    assert.deepEqual(unexpectedProblems(page, expectedStatuses, expectedProblems), []);
  } finally {
    await page.close();
    assert.equal(await host.stop(), 0, host.output);
  }
}

async function outcome(page) {
  const box = page.locator('#outcome .result');
  await box.waitFor();
  return box;
}

// The page keeps this until it is reloaded.
async function markPage(page) {
  await page.evaluate(() => {
    window.notReloaded = true;
  });
}

async function assertNotReloaded(page) {
  assert.equal(await page.evaluate(() => window.notReloaded), true, 'the page was reloaded');
}

describe('purchase widget', () => {
  test('a player adds items, validates and buys, and sees the transactions and the balance drop', async () => {
    await withWidget(WIDE, async (page) => {
      await page.locator('#wallet', { hasText: '5,000 GEM' }).waitFor();
      assert.equal(await page.locator('#widget-state').textContent(), 'On');
      assert.match(await page.locator('#player-state').textContent(), /Signed in \(account 1001\)/);
      assert.ok(await page.locator('#disclaimer').isVisible(), 'the purchase disclaimer is shown');
      // The running sale and the upcoming one are both told.
      const banner = page.locator('li.item[data-key="BANNER:202"]');
      assert.match(await banner.textContent(), /On sale until 1 Jan 2100, 00:00 UTC: 260 GEM \(was 520 GEM\)/);
      assert.match(await page.locator('li.item[data-key="EMOTE:404"]').textContent(), /Sale from 1 Jan 2099/);

      await page.getByRole('button', { name: 'Add Copper Banner' }).click();
      await page.getByRole('button', { name: 'Add Experience Boost (1 day)' }).click();
      await page.getByLabel('Quantity of Experience Boost (1 day)').fill('3');
      await page.getByLabel('Quantity of Experience Boost (1 day)').press('Tab');
      await page.locator('#basket-total', { hasText: 'Total: 710 GEM' }).waitFor();
      await page.getByRole('button', { name: 'Add Lantern Familiar' }).click();
      await page.getByLabel('Currency for Lantern Familiar').selectOption('COIN');
      await page.locator('#basket-total', { hasText: 'Total: 710 GEM + 6,300 COIN' }).waitFor();

      await page.getByRole('button', { name: 'Validate' }).click();
      const validation = await outcome(page);
      assert.equal(await validation.getAttribute('data-valid'), 'true');
      const verdicts = await validation.locator('li').allTextContents();
      assert.deepEqual(verdicts.length, 3);
      assert.match(verdicts[0], /Copper Banner × 1: 260 GEM · on sale until 1 Jan 2100, 00:00 UTC\. OK\./);
      assert.match(verdicts[1], /Experience Boost \(1 day\) × 3/);
      await screenshot(page, 'widget-1280-validated');

      // Removing one leaves the others, and the focus on the next remove button.
      await page.getByRole('button', { name: 'Remove Lantern Familiar' }).click();
      assert.equal(await page.locator('#basket li.line').count(), 2);
      assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Remove Experience Boost (1 day)');

      await page.getByRole('button', { name: 'Purchase' }).click();
      const bought = page.locator('#outcome .result[data-purchased="true"]');
      await bought.waitFor();
      const ids = await bought.locator('.transaction-id').allTextContents();
      assert.equal(ids.length, 2);
      for (const id of ids) assert.match(id, /^txn-1001-\d+$/);
      assert.match(await bought.locator('.balance').textContent(), /New wallet balance: 20,000 COIN · 4,290 GEM/);
      await page.locator('#wallet', { hasText: '4,290 GEM' }).waitFor();
      assert.equal(await page.locator('#basket li.line').count(), 0, 'the basket is empty after the purchase');
      await screenshot(page, 'widget-1280-purchased');
    });
  });

  test('signing out through the control API shows at once, and a purchase is refused with 401', async () => {
    await withWidget(WIDE, async (page, host) => {
      await markPage(page);
      await page.getByRole('button', { name: 'Add Lantern Familiar' }).click();
      assert.equal((await host.request('DELETE', SESSION)).status, 200);
      await page.locator('#player-state', { hasText: 'Signed out' }).waitFor();
      await page.locator('#notice-signed-out').waitFor();
      assert.equal(await page.locator('#wallet').textContent(), '–');

      await page.getByRole('button', { name: 'Purchase' }).click();
      const refusal = page.locator('#outcome .result.error[data-status="401"]');
      await refusal.waitFor();
      assert.match(await refusal.textContent(), /You are signed out \(401\).*missing or unknown bearer token.*Sign in to the client, then buy again/);
      await screenshot(page, 'widget-1280-signed-out');

      // Signing in again shows as well, and the purchase goes through.
      assert.equal((await host.request('PUT', SESSION, { state: 'SUCCEEDED', accountId: 1001, tivanId: 5001, idToken: 'devhost-player-token' })).status, 201);
      await page.locator('#player-state', { hasText: 'Signed in' }).waitFor();
      await page.getByRole('button', { name: 'Purchase' }).click();
      await page.locator('#outcome .result[data-purchased="true"]').waitFor();
      await assertNotReloaded(page);
    }, { expectedStatuses: [401] });
  });

  test('disabling the widget turns the page off without a reload, and enabling it on again', async () => {
    await withWidget(WIDE, async (page, host) => {
      await markPage(page);
      await page.getByRole('button', { name: 'Add Lantern Familiar' }).click();
      const config = (await host.request('GET', PLATFORM_CONFIG)).body;
      assert.equal((await host.request('PUT', PLATFORM_CONFIG, { ...config, Enabled: false })).status, 200);
      await page.locator('#widget-state', { hasText: 'Off' }).waitFor();
      await page.locator('#notice-disabled').waitFor();
      assert.ok(await page.getByRole('button', { name: 'Purchase' }).isDisabled());
      assert.ok(await page.getByRole('button', { name: 'Validate' }).isDisabled());
      assert.ok(await page.getByRole('button', { name: 'Add Copper Banner' }).isDisabled());
      assert.ok(!(await page.locator('#disclaimer').isVisible()));
      assert.equal(await page.locator('#basket li.line').count(), 1, 'the basket is kept');
      await screenshot(page, 'widget-1280-disabled');

      assert.equal((await host.request('PUT', PLATFORM_CONFIG, { ...config, PurchaseDisclaimerEnabled: false })).status, 200);
      await page.locator('#widget-state', { hasText: 'On' }).waitFor();
      assert.ok(await page.getByRole('button', { name: 'Purchase' }).isEnabled());
      assert.ok(!(await page.locator('#disclaimer').isVisible()), 'no disclaimer when it is not enabled');
      await assertNotReloaded(page);
    });
  });

  test('the locale changes the names of the catalogue and the basket without a reload', async () => {
    await withWidget(WIDE, async (page, host) => {
      await page.getByRole('button', { name: 'Add Lantern Familiar' }).click();
      assert.equal((await host.request('PUT', LOCALE, { locale: 'de_DE' })).status, 200);
      await page.getByRole('button', { name: 'Add Kupferbanner' }).waitFor();
      await page.getByRole('button', { name: 'Remove Laternengefährte' }).waitFor();
      assert.match(await page.locator('#catalogue-language').textContent(), /de_DE/);
    });
  });

  test('each refusal of the store or the plugin is shown as it was answered', async () => {
    const refused = [401, 400, 402, 404, 409, 500, 503];
    await withWidget(WIDE, async (page, host) => {
      const refusal = async (status) => {
        const box = page.locator(`#outcome .result.error[data-status="${status}"]`);
        await box.waitFor();
        return box.textContent();
      };

      // 402: the bundle costs more gems than the wallet holds.
      await page.getByRole('button', { name: 'Add Starter Bundle' }).click();
      await page.getByRole('button', { name: 'Purchase' }).click();
      assert.match(await refusal(402), /wallet cannot pay.*insufficient funds.*costs 9,999 GEM; the wallet holds 5,000 GEM/);
      await page.getByRole('button', { name: 'Remove Starter Bundle' }).click();

      // 503: the store is down and answers with its own page.
      await page.getByRole('button', { name: 'Add Lantern Familiar' }).click();
      await host.request('PUT', FAULT, { status: 503, contentType: 'text/html', body: '<html><body><h1>Down for maintenance</h1><p>Back at 10:00</p></body></html>' });
      await page.getByRole('button', { name: 'Validate' }).click();
      assert.match(await refusal(503), /store is not working \(503\).*Down for maintenance Back at 10:00/);
      await host.request('DELETE', FAULT);

      // 500: the store cannot be reached at all.
      const config = (await host.request('GET', PLATFORM_CONFIG)).body;
      await host.request('PUT', PLATFORM_CONFIG, { ...config, BaseUrl: `http://127.0.0.1:${await unusedPort()}/` });
      await page.getByRole('button', { name: 'Validate' }).click();
      assert.match(await refusal(500), /store could not be reached \(500\).*Could not connect to the server: /);
      await host.request('PUT', PLATFORM_CONFIG, config);
      await page.locator('#widget-state', { hasText: 'On' }).waitFor();

      // 401 while signed out, shown although the page knows it.
      await host.request('DELETE', SESSION);
      await page.locator('#player-state', { hasText: 'Signed out' }).waitFor();
      await page.getByRole('button', { name: 'Validate' }).click();
      assert.match(await refusal(401), /signed out \(401\)/);
      await host.request('PUT', SESSION, { state: 'SUCCEEDED', accountId: 1001, tivanId: 5001, idToken: 'devhost-player-token' });
      await page.locator('#player-state', { hasText: 'Signed in' }).waitFor();
    }, { expectedStatuses: refused });

    // 409, 400 and 404 need a page that is out of step with the store or the plugin: a price
    // the store no longer asks, an item it does not know, and a widget disabled while the page
    // did not hear of it.
    await withWidget(NARROW, async (page, host) => {
      await page.route('**/devhost/v1/store/catalogue', async (route) => {
        const response = await route.fetch();
        const catalogue = await response.json();
        for (const item of catalogue.items) {
          if (item.itemKey.itemId === 101) item.prices[0].price = 700;
        }
        catalogue.items.push({ ...catalogue.items[0], itemKey: { inventoryType: 'COMPANION', itemId: 999 }, name: 'Withdrawn Familiar', sales: [], sale: null });
        await route.fulfill({ response, json: catalogue });
      });
      await page.reload();
      await page.getByRole('button', { name: 'Add Withdrawn Familiar' }).click();
      await page.getByRole('button', { name: 'Validate' }).click();
      const invalid = page.locator('#outcome .result.error[data-status="400"]');
      await invalid.waitFor();
      assert.match(await invalid.textContent(), /refused as invalid \(400\).*unknown item COMPANION:999/);
      await page.getByRole('button', { name: 'Remove Withdrawn Familiar' }).click();

      await page.getByRole('button', { name: 'Add Lantern Familiar' }).click();
      await page.getByRole('button', { name: 'Purchase' }).click();
      const changed = page.locator('#outcome .result.error[data-status="409"]');
      await changed.waitFor();
      assert.match(await changed.textContent(), /price has changed \(409\).*in GEM is 790.*current price is 790\. Validate/);
      // The basket now knows the store's price, and the purchase goes through.
      await page.locator('#basket-total', { hasText: 'Total: 790 GEM' }).waitFor();
      await screenshot(page, 'widget-375-price-changed');

      // A page that does not hear of changes: reloaded with the stream blocked.
      await page.route('**/devhost/v1/events/stream', (route) => route.abort());
      const config = (await host.request('GET', PLATFORM_CONFIG)).body;
      await page.reload();
      await page.locator('#widget-state', { hasText: 'On' }).waitFor();
      await page.getByRole('button', { name: 'Add Lantern Familiar' }).click();
      await host.request('PUT', PLATFORM_CONFIG, { ...config, Enabled: false });
      await page.getByRole('button', { name: 'Validate' }).click();
      const disabled = page.locator('#outcome .result.error[data-status="404"]');
      await disabled.waitFor();
      assert.match(await disabled.textContent(), /purchase widget is turned off \(404\).*purchase widget not enabled/);
      // The refusal tells the page what it had not heard.
      await page.locator('#widget-state', { hasText: 'Off' }).waitFor();
      await screenshot(page, 'widget-375-disabled-refusal');
    }, { expectedStatuses: [400, 404, 409], expectedProblems: [/net::ERR_FAILED/] });
  });

  test('on a phone-sized screen nothing overflows and a purchase works with the keyboard alone', async () => {
    await withWidget(NARROW, async (page) => {
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      assert.ok(overflow <= 0, `the page is ${overflow} px wider than the screen`);
      await screenshot(page, 'widget-375-catalogue');

      // Tab to "Add Copper Banner", press Enter, then tab on to "Purchase".
      const tabTo = async (name) => {
        for (let i = 0; i < 60; i += 1) {
          await page.keyboard.press('Tab');
          const focused = await page.evaluate(() => document.activeElement && document.activeElement.textContent);
          if (focused === name) return;
        }
        assert.fail(`the keyboard never reached "${name}"`);
      };
      await tabTo('Add Copper Banner');
      await screenshot(page, 'widget-375-keyboard-focus', { fullPage: false });
      await page.keyboard.press('Enter');
      assert.equal(await page.locator('#basket li.line').count(), 1);
      assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Add Copper Banner', 'the focus stays where it was');
      await tabTo('Purchase');
      await page.keyboard.press('Enter');
      await page.locator('#outcome .result[data-purchased="true"]').waitFor();
      await page.locator('#wallet', { hasText: '4,740 GEM' }).waitFor();
      const overflowAfter = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      assert.ok(overflowAfter <= 0, `after the purchase the page is ${overflowAfter} px wider than the screen`);
      await screenshot(page, 'widget-375-purchased');
    });
  });

  test('a browser opening the host gets the start page, which leads to the widget', async () => {
    const host = await new Host().start();
    const page = await openPage(browser, WIDE);
    try {
      await page.goto(`${host.url}/`);
      for (const name of ['Purchase widget', 'API docs', 'Control API']) {
        assert.ok(await page.getByRole('link', { name, exact: true }).isVisible(), name);
      }
      await screenshot(page, 'start-1280');
      await page.getByRole('link', { name: 'Purchase widget', exact: true }).click();
      await page.getByRole('button', { name: 'Add Copper Banner' }).waitFor();
      assert.equal(new URL(page.url()).pathname, '/widget/');
      assert.deepEqual(unexpectedProblems(page), []);
    } finally {
      await page.close();
      assert.equal(await host.stop(), 0, host.output);
    }
  });
});
