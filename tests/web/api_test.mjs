// window.lumen in Debian's Chromium, from a file: URL, against the native
// programs on the same bytes: each case runs the page's call and the
// program's command line and must give the same bytes or the same text.
// Usage: node api_test.mjs PAGE NATIVE_BIN SKIN...   (exit 77: skipped; the
// environment's LUMEN_NATIVE_BIN, when set, wins over NATIVE_BIN)
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import zlib from "node:zlib";
import { pathToFileURL } from "node:url";
import { browserAndPrograms, chromiumPath } from "./browser_harness.mjs";

const [pagePath, nativeBinGiven, ...skins] = process.argv.slice(2);
const nativeBin = path.resolve(process.env.LUMEN_NATIVE_BIN || nativeBinGiven);
const playwright = await browserAndPrograms(nativeBin);

const work = fs.mkdtempSync(path.join(os.tmpdir(), "lumen-page-"));
process.on("exit", () => fs.rmSync(work, { recursive: true, force: true }));

// A program run in the folder of its input, named by its base name, as the
// page names it: the text it prints is then the page's own.
function native(program, args, cwd) {
  const run = spawnSync(path.join(nativeBin, program), args, { cwd, encoding: "buffer" });
  return { status: run.status, stdout: run.stdout.toString(), stderr: run.stderr.toString() };
}
function copyInto(folder, file, name = path.basename(file)) {
  fs.mkdirSync(folder, { recursive: true });
  fs.copyFileSync(file, path.join(folder, name));
  return name;
}

// An exported PNG (8-bit RGBA, Sub filter on every row, as Lumen export
// writes it) painted over in its upper left quarter: colours of every value
// (not only those the handheld shows, between which a colour off by one
// would round alike) and alphas all opaque to Lumen (at least 128) but where
// a premultiplying decoder changes colours. Written back unfiltered: another
// encoder's file.
function editedPng(file) {
  const png = fs.readFileSync(file);
  const width = png.readUInt32BE(16), height = png.readUInt32BE(20);
  const idat = [];
  for (let at = 8; at < png.length; ) {
    const length = png.readUInt32BE(at), type = png.toString("latin1", at + 4, at + 8);
    if (type === "IDAT") idat.push(png.subarray(at + 8, at + 8 + length));
    at += 12 + length;
  }
  const rows = zlib.inflateSync(Buffer.concat(idat)), stride = width * 4;
  const out = Buffer.alloc((stride + 1) * height);
  for (let y = 0; y < height; ++y) {
    const row = rows.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let k = 0; k < stride; ++k) row[k] = (row[k] + (k >= 4 ? row[k - 4] : 0)) & 255;
    for (let k = 0; k < stride; ++k) {
      const edited = y < height / 2 && k < stride / 2;
      const alpha = [255, 200, 160, 129, 128][(y + (k >> 2)) % 5];
      const painted = ((k >> 2) * 37 + y * 11 + (k % 4) * 101) & 255;
      out[y * (stride + 1) + 1 + k] = !edited ? row[k] : k % 4 === 3 ? alpha : painted;
    }
  }
  const chunk = (type, data) => {
    const body = Buffer.concat([Buffer.from(type, "latin1"), data]);
    const head = Buffer.alloc(4), crc = Buffer.alloc(4);
    head.writeUInt32BE(data.length);
    crc.writeUInt32BE(zlib.crc32(body));
    return Buffer.concat([head, body, crc]);
  };
  return Buffer.concat([png.subarray(0, 8), chunk("IHDR", png.subarray(16, 29)),
                        chunk("IDAT", zlib.deflateSync(out)), chunk("IEND", Buffer.alloc(0))]);
}

const browser = await playwright.chromium.launch({ executablePath: chromiumPath, args: ["--no-sandbox"] });
const page = await browser.newPage();
const requests = [], consoleErrors = [];
const pageUrl = pathToFileURL(path.resolve(pagePath)).href;
page.on("request", (r) => { if (r.url() !== pageUrl && !r.url().startsWith("blob:")) requests.push(r.url()); });
page.on("console", (m) => { if (m.type() === "error") consoleErrors.push(m.text()); });
page.on("pageerror", (e) => consoleErrors.push(String(e)));
await page.goto(pageUrl);

// One call of window.lumen: {value}, or {error}. Bytes cross as base64.
async function call(op, ...args) {
  const answer = await page.evaluate(async ([op, args]) => {
    const bytes = (b64) => Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    const b64 = (a) => { let s = ""; for (let k = 0; k < a.length; k += 32768) s += String.fromCharCode(...a.subarray(k, k + 32768)); return btoa(s); };
    try {
      const value = await window.lumen[op](...args.map((a) => (a && a.b64 !== undefined ? bytes(a.b64) : a)));
      const plain = (v) => (v instanceof Uint8Array ? { b64: b64(v) } : v);
      return { value: value && value.skin ? { ...value, skin: plain(value.skin) } : plain(value) };
    } catch (e) {
      return { error: e.message };
    }
  }, [op, args.map((a) => (Buffer.isBuffer(a) ? { b64: a.toString("base64") } : a))]);
  return answer;
}
const bytesOf = (v) => Buffer.from((v.skin || v).b64, "base64");

let failures = 0;
function expect(what, same, detail) {
  if (!same) {
    ++failures;
    console.log(`FAIL ${what}\n${detail || ""}`);
  } else console.log(`ok   ${what}`);
}
function sameBytes(what, page, nativeFile) {
  const theirs = fs.existsSync(nativeFile) ? fs.readFileSync(nativeFile) : Buffer.alloc(0);
  expect(what, page && Buffer.compare(page, theirs) === 0, `page ${page && page.length} bytes, native ${theirs.length}`);
}
function sameText(what, page, native) {
  expect(what, page === native, `page:\n${page}\nnative:\n${native}`);
}

// Recast names a WiFi skin "Converted WiFi skin [xxxx]" from a random number:
// the four digits are left out of the comparison.
const unrandomised = (b) => Buffer.from(b.toString("latin1").replace(/(Converted (WiFi )?skin \[)[0-9a-f]{4}\]/, "$1....]"), "latin1");

const cases = [];
for (const skin of skins) {
  const name = path.basename(skin), bytes = fs.readFileSync(skin), dir = path.join(work, name);
  cases.push(async () => {
    copyInto(dir, skin);
    const tessel = native("Tessel", [name, "compressed.prc"], dir);
    const paged = await call("tessel", bytes, name);
    sameBytes(`${name}: compress`, paged.value && bytesOf(paged.value), path.join(dir, "compressed.prc"));
    sameText(`${name}: Tessel's report`, paged.value && paged.value.report, tessel.stdout);

    const compressed = fs.readFileSync(path.join(dir, "compressed.prc"));
    native("Lumen", ["unpack", "compressed.prc", "unpacked.prc"], dir);
    const unpacked = await call("unpack", compressed, "compressed.prc");
    sameBytes(`${name}: unpack of the compressed skin`, unpacked.value && bytesOf(unpacked.value), path.join(dir, "unpacked.prc"));

    for (const [command, source] of [["list", name], ["check", name], ["list", "compressed.prc"], ["check", "compressed.prc"]]) {
      const run = native("Lumen", [command, source], dir);
      const result = await call(command, fs.readFileSync(path.join(dir, source)), source);
      sameText(`${source}: ${command}`, result.value, run.stdout);
    }

    native("Lumen", ["export", name, "exported"], dir);
    const png = fs.readdirSync(path.join(dir, "exported")).filter((f) => /^\d+\.png$/.test(f)).sort()[0];
    fs.writeFileSync(path.join(dir, "edited.png"), editedPng(path.join(dir, "exported", png)));
    const id = png.replace(".png", "");
    const replace = native("Lumen", ["replace", name, id, "edited.png", "replaced.prc"], dir);
    const replaced = await call("replace", bytes, id, fs.readFileSync(path.join(dir, "edited.png")), name, "edited.png");
    expect(`${name}: Lumen replace ran`, replace.status === 0, replace.stderr);
    sameBytes(`${name}: replace of ${id}`, replaced.value && bytesOf(replaced.value), path.join(dir, "replaced.prc"));
    const missing = native("Lumen", ["replace", name, "1", "edited.png", "none.prc"], dir);
    const refused = await call("replace", bytes, "1", fs.readFileSync(path.join(dir, "edited.png")), name, "edited.png");
    sameText(`${name}: replace of a missing id`, refused.error + "\n", missing.stderr);

    copyInto(path.join(dir, "recast"), skin);
    const recast = native("Recast", [name], path.join(dir, "recast"));
    const converted = await call("convertNamed", bytes, name);
    if (recast.status === 0) {
      const ours = converted.value && unrandomised(bytesOf(converted.value));
      expect(`${name}: convert`, ours && Buffer.compare(ours, unrandomised(fs.readFileSync(path.join(dir, "recast", name)))) === 0, converted.error);
    } else {
      sameText(`${name}: convert refused`, converted.error + "\n", recast.stderr);
    }
  });
}

// A damaged skin: one byte of a container's stream changed. Check's words
// must come back from check and from describe; list's status line too.
cases.push(async () => {
  const dir = path.join(work, "damaged");
  copyInto(dir, skins[0], "source.prc");
  native("Tessel", ["source.prc", "damaged.prc"], dir);
  const damaged = fs.readFileSync(path.join(dir, "damaged.prc"));
  const at = damaged.indexOf("cBMP");
  for (let k = at + 24; k < at + 40; ++k) damaged[k] ^= 0xff;
  fs.writeFileSync(path.join(dir, "damaged.prc"), damaged);
  const check = native("Lumen", ["check", "damaged.prc"], dir);
  expect("damaged.prc: native check finds damage", check.status === 1, check.stdout);
  sameText("damaged.prc: check", (await call("check", damaged, "damaged.prc")).value, check.stdout);
  const described = await call("describe", damaged, "damaged.prc");
  expect("damaged.prc: describe says damaged", described.value && described.value.damaged && described.value.check === check.stdout);
  const unpack = native("Lumen", ["unpack", "damaged.prc", "unpacked-damaged.prc"], dir);
  sameText("damaged.prc: unpack refused", (await call("unpack", damaged, "damaged.prc")).error + "\n", unpack.stderr);
  // Not a database at all.
  fs.writeFileSync(path.join(dir, "hostile.prc"), Buffer.from("not a skin"));
  const list = native("Lumen", ["list", "hostile.prc"], dir);
  sameText("hostile.prc: list refused", (await call("list", Buffer.from("not a skin"), "hostile.prc")).error + "\n", list.stderr);
  const tessel = native("Tessel", ["hostile.prc", "out.prc"], dir);
  const refused = await call("compress", Buffer.from("not a skin"), "hostile.prc");
  sameText("hostile.prc: compress refused", refused.error + "\n", tessel.stdout.split("\n")[0] + "\n");
});

// describe and pngOf give the pixels Lumen export writes.
cases.push(async () => {
  const dir = path.join(work, path.basename(skins[0]));
  const png = fs.readdirSync(path.join(dir, "exported")).filter((f) => /^\d+\.png$/.test(f)).sort()[0];
  const id = png.replace(".png", "");
  const result = await page.evaluate(async ([skin, id]) => {
    const bytes = new Uint8Array(skin);
    const progress = [];
    window.lumen.onprogress = (done, total) => progress.push(done + "/" + total);
    const described = await window.lumen.describe(bytes);
    window.lumen.onprogress = null;
    const member = described.bitmaps.find((b) => String(b.id) === id).members[0];
    const png = await window.lumen.pngOf(bytes, id, 0);
    const bitmap = await createImageBitmap(new Blob([png]), { colorSpaceConversion: "none", premultiplyAlpha: "none" });
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    canvas.getContext("2d").drawImage(bitmap, 0, 0);
    const decoded = canvas.getContext("2d").getImageData(0, 0, bitmap.width, bitmap.height).data;
    return { described: [...member.pixels.data], decoded: [...decoded], progress: progress.join(" "), bitmaps: described.bitmaps.length };
  }, [[...fs.readFileSync(skins[0])], id]);
  const counted = Array.from({ length: result.bitmaps }, (_, k) => `${k + 1}/${result.bitmaps}`).join(" ");
  sameText("describe's progress, bitmap by bitmap", result.progress, counted);
  const exported = fs.readFileSync(path.join(dir, "exported", png));
  const rows = zlib.inflateSync(exported.subarray(41, 41 + exported.readUInt32BE(33)));
  const stride = exported.readUInt32BE(16) * 4, pixels = [];
  for (let y = 0; y * (stride + 1) < rows.length; ++y) {
    const row = rows.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let k = 0; k < stride; ++k) pixels.push((row[k] = (row[k] + (k >= 4 ? row[k - 4] : 0)) & 255));
  }
  const opaque = (a) => a.map((v, k) => (a[k - (k % 4) + 3] === 0 ? 0 : v));
  expect(`describe's pixels of ${png} are export's`, JSON.stringify(result.described) === JSON.stringify(pixels));
  expect(`pngOf's pixels of ${png} are export's`, JSON.stringify(opaque(result.decoded)) === JSON.stringify(opaque(pixels)));
});

// A name beyond ASCII: Recast takes the database name from it in the
// handheld's character set, on the page as natively.
cases.push(async () => {
  const name = "Blåbær skin.prc", dir = path.join(work, "named");
  copyInto(dir, skins[0], name);
  native("Recast", [name], dir);
  const converted = await call("convertNamed", fs.readFileSync(skins[0]), name);
  sameBytes(`${name}: convert`, converted.value && bytesOf(converted.value), path.join(dir, name));
  sameText(`${name}: the database name`, converted.value && converted.value.databaseName, "Blåbær skin");
});

// A bitmap whose search index would pass the page's memory cap: Tessel's
// words for it, and the next call answered by a fresh module. The skin is
// made inside the page (100 MB of one random megabyte repeated).
cases.push(async () => {
  const result = await page.evaluate(async () => {
    const size = 100 << 20, bytes = new Uint8Array(90 + size), view = new DataView(bytes.buffer);
    bytes.set([98, 105, 103, 0], 0);
    bytes.set([114, 115, 114, 99, 115, 66, 97, 114], 60);
    view.setUint16(76, 1);
    bytes.set([97, 98, 109, 112], 78);
    view.setUint16(82, 31000);
    view.setUint32(84, 90);
    for (let k = 0, x = 1; k < 1 << 20; ++k) bytes[90 + k] = (x = (x * 1103515245 + 12345) >>> 0) >>> 24;
    for (let k = 1; k < 100; ++k) bytes.copyWithin(90 + (k << 20), 90, 90 + (1 << 20));
    const failed = await window.lumen.compress(bytes, "big.prc").then(() => "", (e) => e.message);
    return { failed, head: [...bytes.subarray(0, 90)], after: await window.lumen.check(bytes.subarray(0, 90), "big.prc") };
  });
  sameText("beyond the memory cap: compress", result.failed, "ERR: out of memory!");
  fs.writeFileSync(path.join(work, "big.prc"), Buffer.from(result.head));
  sameText("beyond the memory cap: the next call", result.after, native("Lumen", ["check", "big.prc"], work).stdout);
});

for (const run of cases) await run();
expect("no network request", requests.length === 0, requests.join("\n"));
expect("no console error", consoleErrors.length === 0, consoleErrors.join("\n"));
await browser.close();
process.exit(failures === 0 ? 0 : 1);
