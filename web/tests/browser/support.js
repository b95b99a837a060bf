// What the browser tests stand on: the development host as a child process on a free loopback
// port, serving the pages of this repository, and Debian's Chromium driven by playwright-core
// with a fresh profile. Screenshots go to build/screenshots/ of the repository.
import { spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, existsSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const webRoot = path.resolve(here, '..', '..');
export const repoRoot = path.resolve(webRoot, '..');
export const screenshotDir = path.join(repoRoot, 'build', 'screenshots');

export const devhostPath = process.env.TEV_DEVHOST || path.join(repoRoot, 'build', 'release', 'host', 'devhost');
export const chromiumPath = process.env.TEV_CHROMIUM || '/usr/bin/chromium';

export const WIDE = { width: 1280, height: 900 };
export const NARROW = { width: 375, height: 812 };

// A running host. start() resolves once it prints its local API line.
export class Host {
  constructor(extraArguments = []) {
    this.extraArguments = extraArguments;
    this.output = '';
    this.url = null;
    this.child = null;
  }

  async start(timeoutMs = 30000) {
    if (!existsSync(devhostPath)) throw new Error(`no development host at ${devhostPath}; build the release preset first`);
    const args = ['--port', '0', '--web-root', webRoot, ...this.extraArguments];
    this.child = spawn(devhostPath, args, { stdio: ['ignore', 'pipe', 'pipe'] });
    const exited = new Promise((resolve) => this.child.once('exit', (code, signal) => resolve({ code, signal })));
    this.exited = exited;
    const started = new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error(`the host did not start within ${timeoutMs} ms:\n${this.output}`)), timeoutMs);
      const read = (chunk) => {
        this.output += chunk;
        const found = /local API at (http:\/\/127\.0\.0\.1:\d+)\//.exec(this.output);
        if (found && !this.url) {
          this.url = found[1];
          clearTimeout(timer);
          resolve();
        }
      };
      this.child.stdout.setEncoding('utf8').on('data', read);
      this.child.stderr.setEncoding('utf8').on('data', read);
      exited.then(({ code, signal }) => {
        clearTimeout(timer);
        reject(new Error(`the host exited (${code ?? signal}) before it started:\n${this.output}`));
      });
    });
    await started;
    return this;
  }

  // A request to the host as a tool would send it (no Origin), answered as {status, body}.
  async request(method, urlPath, body) {
    const init = { method, headers: {} };
    if (body !== undefined) {
      init.headers['Content-Type'] = 'application/json';
      init.body = typeof body === 'string' ? body : JSON.stringify(body);
    }
    const response = await fetch(this.url + urlPath, init);
    const text = await response.text();
    let value = text;
    try {
      value = JSON.parse(text);
    } catch {
      // a text body stays a text
    }
    return { status: response.status, body: value };
  }

  // SIGTERM, and the exit code (a host that must be killed gives null).
  async stop(timeoutMs = 15000) {
    if (!this.child || this.child.exitCode !== null || this.child.signalCode !== null) return this.child?.exitCode ?? null;
    this.child.kill('SIGTERM');
    const timer = setTimeout(() => this.child.kill('SIGKILL'), timeoutMs);
    const { code } = await this.exited;
    clearTimeout(timer);
    return code;
  }
}

// A TCP port on loopback that nothing listens on (bound and released again).
export function unusedPort() {
  return new Promise((resolve, reject) => {
    const server = createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// Chromium with a fresh profile, removed again by close().
export async function launchBrowser() {
  const profile = mkdtempSync(path.join(tmpdir(), 'tev-widget-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
    viewport: WIDE,
  });
  return {
    context,
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// A new page that records console errors and uncaught exceptions.
export async function openPage(browser, viewport = WIDE) {
  const page = await browser.context.newPage();
  await page.setViewportSize(viewport);
  const problems = [];
  page.on('console', (message) => {
    if (message.type() === 'error') problems.push(`console: ${message.text()}`);
  });
  page.on('pageerror', (error) => problems.push(`exception: ${error.message}`));
  // Chromium's console line does not name the URL; this does, for the failure message.
  page.on('response', (response) => {
    if (response.status() >= 400) page.failedRequests.push(`${response.status()} ${response.request().method()} ${response.url()}`);
  });
  page.failedRequests = [];
  page.problems = problems;
  return page;
}

// The console errors other than Chromium's own notes on answers with the given statuses (it
// logs one for every 4xx and 5xx answer a page fetches, also when the page expects it).
// `expectedPatterns` match further lines that a test provokes on purpose.
export function unexpectedProblems(page, expectedStatuses = [], expectedPatterns = []) {
  const problems = page.problems.filter((text) => {
    const failed = /Failed to load resource: the server responded with a status of (\d+)/.exec(text);
    if (failed && expectedStatuses.includes(Number(failed[1]))) return false;
    return !expectedPatterns.some((pattern) => pattern.test(text));
  });
  return problems.length > 0 ? [...problems, ...page.failedRequests.map((text) => `answer: ${text}`)] : [];
}

export async function screenshot(page, name, { fullPage = true } = {}) {
  mkdirSync(screenshotDir, { recursive: true });
  const file = path.join(screenshotDir, `${name}.png`);
  await page.screenshot({ path: file, fullPage });
  return file;
}
