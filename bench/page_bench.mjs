// Lumen.html beside the native programs, in one run on one machine: the
// page's compression (window.lumen.compress, in Debian's Chromium) of each
// skin against native Tessel's on the same file, in turn, and the time from
// choosing a skin in "Open skin" to its bitmaps on the page.
// Usage: node bench/page_bench.mjs [RUNS] [SKIN...]
// (after cmake --workflow --preset web, Tessel built by the test preset, and
// npm ci in tests/web, whose playwright-core it uses)
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { createRequire } from "node:module";
import { fileURLToPath, pathToFileURL } from "node:url";

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "..");
const { chromium } = createRequire(path.join(root, "tests/web/package.json"))("playwright-core");
const runs = Number(process.argv[2] || 7);
const given = process.argv.slice(3);
const skins = given.length ? given : [...fs.readdirSync(path.join(root, "tests/corpus")).filter((f) => f.endsWith(".prc")).map((f) => path.join(root, "tests/corpus", f)), path.join(root, "samples/sample-skin.prc")];
const pagePath = path.join(root, "build-web/Lumen.html");
const tessel = process.env.LUMEN_NATIVE_BIN ? path.join(process.env.LUMEN_NATIVE_BIN, "Tessel") : path.join(root, "build/bin/Tessel");
const work = fs.mkdtempSync(path.join(os.tmpdir(), "page-bench-"));
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
const page = await browser.newPage();
await page.goto(pathToFileURL(pagePath).href);

const rows = [];
for (const skin of skins) {
  const name = path.basename(skin);
  const bytes = fs.readFileSync(skin);
  const native = [], nativeCpu = [], paged = [];
  // The first call of the page also compiles the module: it is left out.
  await page.evaluate(async (b64) => window.lumen.compress(Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))), bytes.toString("base64"));
  for (let run = 0; run < runs; ++run) {
    // Wall clock (what a user waits for: the process, its file written and
    // synced) and the CPU time the system accounts the child (user + system).
    const start = process.hrtime.bigint();
    const run = spawnSync("/usr/bin/time", ["-f", "%U %S", tessel, skin, path.join(work, "out.prc")], { encoding: "utf8" });
    native.push(Number(process.hrtime.bigint() - start) / 1e6);
    const [user, system] = run.stderr.trim().split("\n").pop().split(" ").map(Number);
    nativeCpu.push((user + system) * 1000);
    paged.push(await page.evaluate(async ([b64, name]) => {
      const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
      const start = performance.now();
      await window.lumen.compress(bytes, name);
      return performance.now() - start;
    }, [bytes.toString("base64"), name]));
  }
  // Choosing the file to its bitmaps shown, in a fresh page each time.
  const shown = [];
  for (let run = 0; run < Math.min(runs, 3); ++run) {
    await page.goto(pathToFileURL(pagePath).href);
    const start = Date.now();
    await page.setInputFiles("#open-skin", skin);
    await page.waitForSelector(".card.bitmap", { timeout: 120000 });
    shown.push(Date.now() - start);
  }
  await page.goto(pathToFileURL(pagePath).href);
  rows.push({ name, size: bytes.length, native: median(native), cpu: median(nativeCpu), page: median(paged), shown: median(shown) });
}
await browser.close();
fs.rmSync(work, { recursive: true, force: true });

console.log(`Lumen.html: ${fs.statSync(pagePath).size} bytes; ${runs} runs each, medians in ms (wall clock)`);
console.log("| skin | bytes | native Tessel | its CPU time | page compress | page / native | chosen to shown |");
console.log("|---|---:|---:|---:|---:|---:|---:|");
for (const r of rows) {
  console.log(`| ${r.name} | ${r.size} | ${r.native.toFixed(0)} | ${r.cpu.toFixed(0)} | ${r.page.toFixed(0)} | ${(r.page / r.native).toFixed(2)} | ${r.shown} |`);
}
