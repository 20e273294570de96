// Lumen.html through its own controls, as a person uses it: every corpus skin
// opened with "Open skin", its saves compared byte for byte with the native
// programs on the same file, a bitmap replaced through its card and compared
// with native Lumen replace, a damaged skin's card holding Lumen check's
// words, and not one network request or console error on the way.
//
// Usage: node page_test.mjs PAGE NATIVE_BIN SKIN...   (exit 77: skipped)
// The screenshot is kept beside PAGE, as lumen-page.png.
import assert from "node:assert/strict";
import {execFileSync} from "node:child_process";
import {copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync} from "node:fs";
import {tmpdir} from "node:os";
import {basename, dirname, join, resolve} from "node:path";
import {pathToFileURL} from "node:url";
import {browserAndPrograms, chromiumPath} from "./browser_harness.mjs";

const [pagePath, nativeBin, ...skins] = process.argv.slice(2).map((path) => resolve(path));
const {chromium} = await browserAndPrograms(nativeBin);
assert.ok(skins.length > 0, "no skins given");

const scratch = mkdtempSync(join(tmpdir(), "lumen-page-ui-"));
process.on("exit", () => rmSync(scratch, {recursive: true, force: true}));

function native(program, args) {
  return execFileSync(join(nativeBin, program), args, {cwd: scratch, encoding: "latin1", stdio: "pipe"});
}

// What each save button downloads, and the native run that must give the
// same bytes from the same file.
const saves = [
  {button: "Download compressed skin", name: (base) => base + "-compressed.prc",
   native: (skin, out) => native("Tessel", [skin, out])},
  {button: "Download unpacked skin", name: (base) => base + "-unpacked.prc",
   native: (skin, out) => native("Lumen", ["unpack", skin, out])},
  {button: "Convert to Orvane", name: (base) => base + ".prc",
   native: (skin, out) => { copyFileSync(skin, out); native("Recast", [out]); }},
];

const browser = await chromium.launch({executablePath: chromiumPath});
const page = await browser.newPage({viewport: {width: 1280, height: 1000}, acceptDownloads: true});
const pageUrl = pathToFileURL(pagePath).href;
const requests = [];
const consoleErrors = [];
// The page itself, and the Worker it starts from a blob: of its own text,
// come from the disk and memory; anything else would be the network.
page.on("request", (request) => {
  if (request.url() !== pageUrl && !request.url().startsWith("blob:")) {
    requests.push(request.url().slice(0, 120));
  }
});
page.on("console", (message) => message.type() === "error" && consoleErrors.push(message.text()));
page.on("pageerror", (error) => consoleErrors.push(error.message));
page.on("dialog", (dialog) => dialog.accept());
await page.goto(pageUrl);

const current = () => page.locator(".skin:not([hidden])");

async function openSkin(path) {
  await page.getByLabel("Open skin", {exact: true}).setInputFiles(path);
  await current().locator(".summary, .error-card").first().waitFor();
}

async function download(click) {
  const [file] = await Promise.all([page.waitForEvent("download"), click()]);
  return {name: file.suggestedFilename(), bytes: readFileSync(await file.path())};
}

function sameBytes(got, expectedPath, what) {
  assert.ok(Buffer.compare(got, readFileSync(expectedPath)) === 0, what + " differs from " + expectedPath);
}

// Images no member holds yet, made by the browser's canvas so that the page
// and Lumen replace read one file: a gradient, with a transparent corner or
// without.
async function gradientPng(width, height, hole, path) {
  const bytes = await page.evaluate(async ([w, h, hole]) => {
    const canvas = new OffscreenCanvas(w, h);
    const context = canvas.getContext("2d");
    const gradient = context.createLinearGradient(0, 0, w, h);
    gradient.addColorStop(0, "#e05a2a");
    gradient.addColorStop(1, "#2a5ae0");
    context.fillStyle = gradient;
    context.fillRect(0, 0, w, h);
    if (hole) {
      context.clearRect(0, 0, Math.ceil(w / 4), Math.ceil(h / 4));
    }
    return Array.from(new Uint8Array(await (await canvas.convertToBlob({type: "image/png"})).arrayBuffer()));
  }, [width, height, hole]);
  writeFileSync(path, Buffer.from(bytes));
}

// Native Lumen replace in the scratch folder, on names as the page has them,
// so that its words are the page's: {error} or {skin}.
function nativeReplace(skin, id, image, output) {
  try {
    native("Lumen", ["replace", skin, id, image, output]);
    return {skin: readFileSync(join(scratch, output))};
  } catch (failure) {
    return {error: failure.stderr.trim()};
  }
}

for (const skin of skins) {
  const name = basename(skin);
  const base = basename(name, ".prc");
  await openSkin(skin);
  console.log(name + ": " + (await current().locator(".shown-time").textContent()));
  // The listing as Lumen list prints it, but for the line naming the file.
  const withoutFile = (text) => text.split("\n").filter((line) => !line.startsWith("file ")).join("\n").trim();
  assert.equal(withoutFile(await current().locator(".listing").textContent()),
               withoutFile(native("Lumen", ["list", skin])), name + ": listing");

  for (const save of saves) {
    const got = await download(() => page.getByRole("button", {name: save.button, exact: true}).click());
    assert.equal(got.name, save.name(base), name + ": " + save.button + ": file name");
    const expected = join(mkdtempSync(join(scratch, "save-")), name);
    const report = save.native(skin, expected);
    sameBytes(got.bytes, expected, name + ": " + save.button);
    if (save.button === "Download compressed skin") {
      const tessel = current().locator(".notice").filter({has: page.getByRole("heading", {name: "Tessel", exact: true})});
      assert.equal((await tessel.locator("pre").textContent()).trim(), report.trim(),
                   name + ": Tessel's report");
    }
  }

  // The last bitmap card, replaced with images of its first member's size:
  // the page shows Lumen replace's refusal on the card, or downloads its skin.
  copyFileSync(skin, join(scratch, name));
  const card = current().locator(".bitmap").last();
  const resource = await card.getAttribute("data-resource");
  const id = resource.split(" ")[1];
  const canvas = card.locator("canvas").first();
  const size = [Number(await canvas.getAttribute("width")), Number(await canvas.getAttribute("height"))];
  let replaced = 0;
  for (const hole of [true, false]) {
    const image = base + "-" + id + (hole ? "-hole" : "") + ".png";
    await gradientPng(...size, hole, join(scratch, image));
    const expected = nativeReplace(name, id, image, base + "-replaced.prc");
    const done = current().getByRole("heading", {name: "Replaced " + resource});
    const refused = card.locator(".card-error");
    await done.waitFor({state: "detached"});
    await page.getByLabel("Replace " + resource + " with an image", {exact: true}).setInputFiles(join(scratch, image));
    await done.or(refused).first().waitFor();
    if (expected.error) {
      assert.equal(await refused.textContent(), expected.error, name + ": " + image + " refused");
      continue;
    }
    assert.ok(await done.isVisible(), name + ": " + image + ": " + (await refused.allTextContents()));
    const edited = await download(() => page.getByRole("button", {name: "Download skin", exact: true}).click());
    assert.equal(edited.name, base + "-edited.prc", name + ": edited skin's file name");
    assert.ok(Buffer.compare(edited.bytes, expected.skin) === 0, name + ": " + image + " replaced unlike Lumen replace");
    // Ctrl+Z takes the change back: the skin is the opened file again.
    await page.keyboard.press("Control+z");
    const undone = await download(() => page.getByRole("button", {name: "Download skin", exact: true}).click());
    assert.equal(undone.name, name, name + ": undone skin's file name");
    sameBytes(undone.bytes, skin, name + ": undone skin");
    replaced += 1;
  }
  assert.ok(replaced > 0, name + ": Lumen replace took neither image for " + resource);
}

// A damaged skin: the first abmp's height raised past its bytes, so that its
// rows run out. Its card must name the resource with Lumen check's words.
const damaged = join(scratch, "damaged-skin.prc");
{
  const bytes = readFileSync(skins[0]);
  const count = bytes.readUInt16BE(76);
  for (let entry = 78; entry < 78 + 10 * count; entry += 10) {
    if (bytes.toString("latin1", entry, entry + 4) === "abmp") {
      bytes.writeUInt16BE(0x7fff, bytes.readUInt32BE(entry + 6) + 2);
      break;
    }
  }
  writeFileSync(damaged, bytes);
}
let checkLines = "";
try {
  native("Lumen", ["check", damaged]);
} catch (failure) {
  checkLines = failure.stdout;
}
const damageLines = checkLines.split("\n").filter((line) => line.startsWith(damaged + ": ") && !/ bitmaps? \(/.test(line));
assert.ok(damageLines.length > 0, "Lumen check finds no damage in " + damaged + ": " + checkLines);
await openSkin(damaged);
for (const line of damageLines) {
  const words = line.slice(damaged.length + 2);
  const resource = words.slice(0, words.indexOf(":"));
  assert.ok((await current().locator('.damage[data-resource="' + resource + '"]').textContent()).includes(words),
            "no card for " + words);
}

// A skin past the page's memory cap, a bitmap of 100 MB (one random megabyte
// repeated): compressing it ends in Tessel's words on an error card, and the
// page goes on working.
const big = join(scratch, "big-skin.prc");
{
  const size = 100 << 20;
  const bytes = Buffer.alloc(90 + size);
  bytes.write("big", 0, "latin1");
  bytes.write("rsrcsBar", 60, "latin1");
  bytes.writeUInt16BE(1, 76);
  bytes.write("abmp", 78, "latin1");
  bytes.writeUInt16BE(31000, 82);
  bytes.writeUInt32BE(90, 84);
  for (let k = 0, x = 1; k < 1 << 20; ++k) bytes[90 + k] = (x = (Math.imul(x, 1103515245) + 12345) >>> 0) >>> 24;
  for (let k = 1; k < 100; ++k) bytes.copyWithin(90 + (k << 20), 90, 90 + (1 << 20));
  writeFileSync(big, bytes);
}
await openSkin(big);
await page.getByRole("button", {name: "Download compressed skin", exact: true}).click();
await current().locator(".error-card").filter({hasText: "ERR: out of memory!"}).waitFor();

// Every control is labelled and reachable by keyboard: Tab from the top of
// the page reaches each one that shows (a group of radio buttons once, and
// a row of tabs through its current tab, as their keys move within them),
// and each has a name.
await page.getByRole("tab", {name: basename(skins[0])}).click();
const controls = await page.evaluate(() => {
  const named = (element) => (element.getAttribute("aria-label") ||
    [...(element.labels || [])].map((label) => label.textContent).join(" ") ||
    (element.getAttribute("aria-labelledby") || "").split(" ")
      .map((id) => document.getElementById(id)?.textContent || "").join(" ") ||
    element.textContent || element.title || "").trim();
  const seen = new Set();
  const found = [];
  for (const element of document.querySelectorAll("button, input, select, textarea, a[href], [tabindex]")) {
    if (element.disabled || element.getClientRects().length === 0 || element.closest("[hidden], [inert]")) continue;
    const group = element.type === "radio" ? "radio " + element.name : element.getAttribute("role") === "tab" ? "tabs" : null;
    // A control of the page's own with tabindex="-1" is one the keyboard
    // cannot reach; another element with it is only focused by the page.
    const native = element.matches("button, input, select, textarea, a[href]");
    if (group ? seen.has(group) : !native && element.tabIndex < 0) continue;
    if (group) seen.add(group);
    element.dataset.keyboardCheck = String(found.length);
    found.push({key: String(found.length), group, name: named(element), html: element.outerHTML.slice(0, 120)});
  }
  document.activeElement?.blur();
  return found;
});
for (const control of controls) assert.ok(control.name, "a control without a name: " + control.html);
const reached = new Set();
for (let step = 0; step < controls.length * 2 + 10 && reached.size < controls.length; ++step) {
  await page.keyboard.press("Tab");
  const key = await page.evaluate(() => {
    const element = document.activeElement;
    const first = element?.type === "radio"
      ? document.querySelector('input[type=radio][name="' + element.name + '"][data-keyboard-check]')
      : element?.getAttribute("role") === "tab"
        ? element.closest("[role=tablist]")?.querySelector("[data-keyboard-check]")
        : null;
    return element?.dataset.keyboardCheck ?? first?.dataset.keyboardCheck ?? null;
  });
  if (key !== null) reached.add(key);
}
const unreached = controls.filter((control) => !reached.has(control.key)).map((control) => control.name + ": " + control.html);
assert.deepEqual(unreached, [], "controls Tab does not reach");
console.log("keyboard: " + controls.length + " controls, each named and reached by Tab");

await page.screenshot({path: join(dirname(pagePath), "lumen-page.png")});
await browser.close();
assert.deepEqual(requests, [], "network requests");
assert.deepEqual(consoleErrors, [], "console errors");
console.log("page test: " + skins.length + " corpus skins opened, saved, replaced; damage shown; no requests");
