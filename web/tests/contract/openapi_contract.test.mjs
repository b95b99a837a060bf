// The OpenAPI document the host serves, held against the host itself: it lints clean with the
// recommended rules, and real answers of the plugin's endpoints (successes, the plugin's and the
// router's errors, the store's errors passed on) match the schema documented for their status.
import { after, before, describe, test } from "node:test";
import assert from "node:assert/strict";
import { execFile } from "node:child_process";
import http from "node:http";
import { mkdtemp, rm, writeFile } from "node:fs/promises";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { promisify } from "node:util";

import { startHost } from "./host.mjs";
import { makeValidator } from "./schema.mjs";

const webRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../..");
const configurationPath = "/tev-purchase-widget/v1/configuration";
const validatePath = "/tev-purchase-widget/v1/validateItems";
const purchasePath = "/tev-purchase-widget/v1/purchaseItems";
const sessionResource = "/devhost/v1/resources/tev-login/v1/session";
const configResource =
  "/devhost/v1/resources/tev-platform-config/v1/namespaces/HuxPurchaseWidget";

const lantern = { inventoryType: "COMPANION", itemId: 101 };
const validation = { items: [{ itemKey: lantern, quantity: 1 }] };
const purchase = {
  items: [
    {
      itemKey: lantern,
      quantity: 1,
      source: "contract-test",
      purchaseCurrencyInfo: { currencyType: "GEM", price: 790, purchasable: true },
    },
  ],
};

let host;
let document;
let responseFor;
// Requests go to the server the document names, as a generated client's would.
let server;

async function call(method, pathName, { body, contentType = "application/json" } = {}) {
  const init = { method, headers: {} };
  if (body !== undefined) {
    init.body = typeof body === "string" ? body : JSON.stringify(body);
    init.headers["content-type"] = contentType;
  }
  const response = await fetch(server + pathName, init);
  const text = await response.text();
  return { status: response.status, type: response.headers.get("content-type"), text };
}

// Sends the request, checks the status, and validates the JSON answer against the document.
async function expectDocumented(method, pathName, expectedStatus, options) {
  const answer = await call(method, pathName, options);
  assert.equal(answer.status, expectedStatus, `${method} ${pathName}: ${answer.text}`);
  assert.match(answer.type ?? "", /^application\/json/);
  const value = JSON.parse(answer.text);
  const documented = responseFor(method, pathName, answer.status);
  const { ok, errors } = documented.check(value);
  assert.ok(ok, `${method} ${pathName} ${answer.status} (documented as ${documented.key}): ${errors}\n${answer.text}`);
  return { value, key: documented.key };
}

async function control(method, pathName, body) {
  const response = await fetch(host.url + pathName, {
    method,
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  const text = await response.text();
  assert.ok(response.ok, `${method} ${pathName}: ${response.status} ${text}`);
  return JSON.parse(text);
}

before(async () => {
  host = await startHost();
  // Asked under "localhost": the document's server follows the name the client used, so that
  // a page loaded from either name may call the host.
  const localhost = host.url.replace("127.0.0.1", "localhost");
  const response = await fetch(`${localhost}/devhost/v1/openapi.json`);
  assert.equal(response.status, 200);
  document = await response.json();
  server = document.servers[0].url;
  assert.equal(server, localhost);
  responseFor = makeValidator(document);
});

after(async () => {
  await host?.stop();
});

describe("the served document", () => {
  test("lints without errors under the recommended rules", async () => {
    const directory = await mkdtemp(path.join(os.tmpdir(), "tev-openapi-"));
    try {
      const file = path.join(directory, "openapi.json");
      await writeFile(file, JSON.stringify(document, null, 2));
      const redocly = path.join(webRoot, "node_modules/.bin/redocly");
      const env = { ...process.env, REDOCLY_TELEMETRY: "off", REDOCLY_SUPPRESS_UPDATE_NOTICE: "true" };
      // Exits non-zero on errors; the JSON report counts them either way.
      const result = await promisify(execFile)(
        redocly,
        ["lint", "--extends=recommended", "--format=json", file],
        { env, maxBuffer: 16 * 1024 * 1024 },
      ).catch((failure) => failure);
      let report;
      try {
        report = JSON.parse(result.stdout);
      } catch {
        assert.fail(`redocly lint gave no report:\n${result.stdout}\n${result.stderr}`);
      }
      const errors = report.problems.filter((problem) => problem.severity === "error");
      assert.deepEqual(
        errors.map((problem) => `${problem.ruleId}: ${problem.message} at ${problem.location?.[0]?.pointer}`),
        [],
      );
      assert.equal(report.totals.errors, 0);
    } finally {
      await rm(directory, { recursive: true, force: true });
    }
  });

  test("describes the plugin's three endpoints under their operation names", () => {
    assert.match(document.openapi, /^3\.1\./);
    assert.match(document.info.version, /^\d+\.\d+\.\d+/);
    const operations = Object.entries(document.paths).flatMap(([p, item]) =>
      Object.entries(item).map(([method, operation]) => [`${method.toUpperCase()} ${p}`, operation.operationId]),
    );
    assert.deepEqual(Object.fromEntries(operations), {
      [`GET ${configurationPath}`]: "GetTevPurchaseWidgetV1Configuration",
      [`POST ${validatePath}`]: "PostTevPurchaseWidgetV1ValidateItems",
      [`POST ${purchasePath}`]: "PostTevPurchaseWidgetV1PurchaseItems",
    });
    const body = document.paths[validatePath].post.requestBody;
    assert.deepEqual(Object.keys(body.content).sort(), [
      "application/json",
      "application/vnd.api+json",
      "application/x-msgpack",
      "application/x-yaml",
    ]);
    assert.ok(document.components.schemas.TevPurchaseWidgetPurchaseWidgetConfig);
  });
});

describe("answers match the documented schema", () => {
  test("successes of all three endpoints", async () => {
    const config = await expectDocumented("GET", configurationPath, 200);
    assert.deepEqual(config.value, { enabled: true, purchaseDisclaimerEnabled: true });
    const validated = await expectDocumented("POST", validatePath, 200, { body: validation });
    assert.equal(validated.value.valid, true);
    // The same body as MessagePack-free YAML is read too.
    await expectDocumented("POST", validatePath, 200, {
      body: "items:\n  - itemKey: {inventoryType: COMPANION, itemId: 101}\n    quantity: 1\n",
      contentType: "application/x-yaml",
    });
    const bought = await expectDocumented("POST", purchasePath, 200, { body: purchase });
    assert.equal(bought.value.transactions.length, 1);
  });

  test("the store's 400 for an unknown item and the router's 400 for a malformed body", async () => {
    const unknown = { items: [{ itemKey: { inventoryType: "COMPANION", itemId: 999999 }, quantity: 1 }] };
    await expectDocumented("POST", validatePath, 400, { body: unknown });
    for (const bad of ["{\"items\": [", "{\"items\": 5}"]) {
      const refused = await expectDocumented("POST", validatePath, 400, { body: bad });
      assert.equal(typeof refused.value.error, "string");
    }
    const unsupported = await expectDocumented("POST", purchasePath, 400, {
      body: "items",
      contentType: "text/plain",
    });
    assert.equal(unsupported.value.error, "Unsupported body content type");
  });

  test("the store's 401 while logged out", async () => {
    const session = await control("GET", sessionResource);
    await control("DELETE", sessionResource);
    try {
      const validated = await expectDocumented("POST", validatePath, 401, { body: validation });
      assert.equal(validated.key, "4XX");
      await expectDocumented("POST", purchasePath, 401, { body: purchase });
    } finally {
      await control("PUT", sessionResource, session);
    }
  });

  test("404 while the widget is disabled", async () => {
    const config = await control("GET", configResource);
    await control("PUT", configResource, { ...config, Enabled: false });
    try {
      for (const [pathName, body] of [
        [validatePath, validation],
        [purchasePath, purchase],
      ]) {
        const refused = await expectDocumented("POST", pathName, 404, { body });
        assert.deepEqual(refused.value, { error: "purchase widget not enabled" });
      }
      const shown = await expectDocumented("GET", configurationPath, 200);
      assert.equal(shown.value.enabled, false);
    } finally {
      await control("PUT", configResource, config);
    }
  });
});

describe("the interactive documentation", () => {
  test("is served from the installed package and points at the document", async () => {
    const page = await fetch(`${host.url}/docs/`);
    assert.equal(page.status, 200);
    assert.match(page.headers.get("content-type"), /^text\/html/);
    const html = await page.text();
    const scripts = [...html.matchAll(/<script src="([^"]+)"/g)].map((match) => match[1]);
    const styles = [...html.matchAll(/<link rel="stylesheet" href="([^"]+)"/g)].map((match) => match[1]);
    assert.ok(scripts.includes("/vendor/swagger-ui-dist/swagger-ui-bundle.js"));
    // Everything the page loads comes from this host.
    for (const reference of [...scripts, ...styles]) {
      assert.doesNotMatch(reference, /^[a-z]+:|^\/\//i);
      const asset = await fetch(new URL(reference, `${host.url}/docs/`));
      assert.equal(asset.status, 200, reference);
      const expected = reference.endsWith(".css") ? /^text\/css/ : /^text\/javascript/;
      assert.match(asset.headers.get("content-type"), expected, reference);
      await asset.arrayBuffer();
    }
    const init = await (await fetch(`${host.url}/docs/docs.js`)).text();
    assert.match(init, /url: "\/devhost\/v1\/openapi\.json"/);
  });

  test("refuses paths that leave the web root", async () => {
    // Sent as written: fetch would resolve dot segments before they reach the host.
    const rawStatus = (target) =>
      new Promise((resolve, reject) => {
        const request = http.get(host.url + "/", { path: target }, (response) => {
          response.resume();
          resolve(response.statusCode);
        });
        request.on("error", reject);
      });
    for (const escape of [
      "/docs/../package.json",
      "/docs/%2e%2e/package.json",
      "/vendor/%2E%2E/package.json",
      "/docs/..%2fpackage.json",
      "/vendor/..%5cpackage.json",
      "/vendor/.bin/redocly",
    ]) {
      assert.equal(await rawStatus(escape), 404, escape);
    }
    assert.equal(await rawStatus("/vendor/swagger-ui-dist/package.json"), 200);
  });
});
