// The interactive documentation in a real browser: it loads from this host alone, without
// console errors, and "Try it out" sends a request to the live host and shows its answer.
// Uses the system's Chromium (TEV_CHROMIUM names another); skipped when there is none.
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { existsSync } from "node:fs";

import { chromium } from "playwright-core";

import { startHost } from "./host.mjs";

const executablePath = process.env.TEV_CHROMIUM ?? "/usr/bin/chromium";
const haveBrowser = existsSync(executablePath);

let host;
let browser;

before(async () => {
  if (!haveBrowser) return;
  host = await startHost();
  browser = await chromium.launch({ executablePath, args: ["--no-sandbox"] });
});

after(async () => {
  await browser?.close();
  await host?.stop();
});

test("Try it out calls the live host", { skip: !haveBrowser && `no browser at ${executablePath}` }, async () => {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  // Generous: the machine running the tests may be busy building.
  page.setDefaultTimeout(90000);
  const problems = [];
  page.on("console", (message) => {
    if (message.type() === "error") problems.push(`console: ${message.text()}`);
  });
  page.on("pageerror", (error) => problems.push(`page: ${error.message}`));
  const elsewhere = [];
  page.on("request", (request) => {
    if (!request.url().startsWith(host.url) && !request.url().startsWith("data:")) {
      elsewhere.push(request.url());
    }
  });

  await page.goto(`${host.url}/docs/`);
  const operation = page
    .locator(".opblock")
    .filter({ hasText: "/tev-purchase-widget/v1/configuration" })
    .first();
  await operation.locator(".opblock-summary").first().click();
  await operation.getByRole("button", { name: "Try it out" }).click();
  await operation.getByRole("button", { name: "Execute" }).click();
  const status = operation.locator(".live-responses-table tr.response .response-col_status").first();
  await status.waitFor();
  assert.equal((await status.textContent()).trim(), "200");
  const body = await operation.locator(".live-responses-table tr.response .response-col_description code").first().textContent();
  assert.deepEqual(JSON.parse(body), { enabled: true, purchaseDisclaimerEnabled: true });

  assert.deepEqual(elsewhere, []);
  assert.deepEqual(problems, []);
  await page.close();
});
