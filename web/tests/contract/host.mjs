// Starts the development host on a free loopback port for a test and stops it again.
// TEV_DEVHOST names the host program (default: the release build's); other arguments pass on.
import { spawn } from "node:child_process";
import { fileURLToPath } from "node:url";
import path from "node:path";

const repository = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../../..");

export function devhostProgram() {
  return process.env.TEV_DEVHOST ?? path.join(repository, "build/release/host/devhost");
}

// Resolves to { url, stop } once the host printed its URL; rejects if it ends first or takes
// longer than `timeoutMs`.
export function startHost(extraArguments = [], timeoutMs = 30000) {
  const child = spawn(devhostProgram(), ["--port", "0", "--verbosity", "0", ...extraArguments], {
    stdio: ["ignore", "pipe", "pipe"],
  });
  let output = "";
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      child.kill("SIGTERM");
      reject(new Error(`the host printed no URL within ${timeoutMs} ms:\n${output}`));
    }, timeoutMs);
    const collect = (chunk) => {
      output += chunk;
      const found = /local API at (http:\/\/127\.0\.0\.1:\d+)\//.exec(output);
      if (!found) return;
      clearTimeout(timer);
      child.stdout.off("data", collect);
      child.stdout.resume();
      resolve({
        url: found[1],
        stop: () =>
          new Promise((done) => {
            if (child.exitCode !== null) return done(child.exitCode);
            child.once("exit", (code) => done(code));
            child.kill("SIGTERM");
          }),
      });
    };
    child.stdout.setEncoding("utf8");
    child.stdout.on("data", collect);
    child.stderr.setEncoding("utf8");
    child.stderr.on("data", (chunk) => {
      output += chunk;
    });
    child.once("error", (error) => {
      clearTimeout(timer);
      reject(error);
    });
    child.once("exit", (code) => {
      clearTimeout(timer);
      reject(new Error(`the host ended with ${code} before it printed its URL:\n${output}`));
    });
  });
}
