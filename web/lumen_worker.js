// The Worker's side of window.lumen: it runs after emscripten's lumen.js (which
// defines createLumenModule) in a Worker started from a Blob, so that a long or
// hostile skin never holds up the page. Each request names an operation; each
// answer carries the same id, the result or the program's words for a failure.
"use strict";

// The Worker needs no network. Without fetch, emscripten decodes the wasm that
// lumen.js carries inline instead of asking fetch for a data: URL, which the
// page's Content-Security-Policy refuses (with a console error) anyway.
self.fetch = undefined;

const MEMORY_MB = Number(self.LUMEN_MEMORY_MB || 1024);
let modulePromise = null;
let printed = [];
let errors = [];
let currentId = 0;
let folders = 0;

function lumenModule() {
  if (!modulePromise) {
    const starting = createLumenModule({
      print: (line) => printed.push(line),
      printErr: (line) => errors.push(line),
      lumenProgress: (done, total, what) =>
        postMessage({ id: currentId, progress: [done, total, what] }),
    });
    // A module that could not start is tried again by the next call.
    starting.catch(() => {
      if (modulePromise === starting) modulePromise = null;
    });
    modulePromise = starting;
  }
  return modulePromise;
}

// Lines as the program wrote them, each with its line end.
function text(lines) {
  return lines.map((line) => line + "\n").join("");
}

// A file name as the page was given it, reduced to what a folder can hold: the
// programs print it, so it stays as close to the user's as it can.
function baseName(name, fallback) {
  const base = String(name || "").split(/[\\/]/).pop();
  return base === "" || base === "." || base === ".." ? fallback : base;
}

class ProgramFailure extends Error {
  constructor(message, report) {
    super(message);
    this.report = report;
  }
}

function removeTree(FS, path) {
  for (const name of FS.readdir(path)) {
    if (name === "." || name === "..") continue;
    const child = path + "/" + name;
    if (FS.isDir(FS.stat(child).mode)) removeTree(FS, child);
    else FS.unlink(child);
  }
  FS.rmdir(path);
}

// Runs fn in a fresh folder made current, with the skin written there under
// its name. fn returns what to hand back; the folder goes afterwards. A call
// that ends the program (Recast's exit) is the program's failure; a trap
// (memory beyond the cap) takes the module with it, and the next call gets a
// fresh one.
async function inFolder(skinBytes, skinName, outOfMemory, fn) {
  const Module = await lumenModule();
  const FS = Module.FS;
  const folder = "/w" + ++folders;
  FS.mkdir(folder);
  FS.chdir(folder);
  FS.writeFile(skinName, skinBytes);
  printed = [];
  errors = [];
  const stack = Module.stackSave();
  try {
    return fn(Module, FS, (name, types, args) => {
      try {
        return Module.ccall(name, types[0], types.slice(1), args);
      } catch (e) {
        if (e && e.name === "ExitStatus") {
          Module.stackRestore(stack);
          return e.status;
        }
        throw e;
      }
    });
  } catch (e) {
    if (e instanceof ProgramFailure) throw e;
    // The module goes either way: a C++ exception (a number here, as the
    // build does not catch them: only a failed allocation throws) skipped
    // every destructor on its way, and a trap leaves nothing to trust.
    modulePromise = null;
    const words = typeof e === "number" ? outOfMemory : outOfMemory.replace(/out of memory.*/i, "the WebAssembly stopped: " + String((e && e.message) || e));
    const lost = new ProgramFailure(words, text(printed) + text(errors));
    lost.cause = e;
    throw lost;
  } finally {
    if (modulePromise) {
      FS.chdir("/");
      for (const made of [folder, folder + "-pixels"]) {
        if (FS.analyzePath(made).exists) removeTree(FS, made);
      }
    }
  }
}

function failure(lines, fallback) {
  const shown = lines.filter((line) => line !== "");
  return shown.length ? shown.join("\n") : fallback;
}

function lumenOutOfMemory(name) {
  return "Lumen: " + name + ": out of memory";
}

// The browser's decoder, without colour management, as the issue asks: the
// pixels are the file's own, as libspng gives them to Lumen replace. They are
// read back through WebGL, which keeps them as decoded; a 2D canvas stores
// them premultiplied, which loses the colour of every pixel not wholly opaque
// (an alpha of 200 already moves some channels by one), so it serves only
// where WebGL is missing.
async function decodeImage(imageBytes) {
  const bitmap = await createImageBitmap(new Blob([imageBytes]), {
    colorSpaceConversion: "none",
    premultiplyAlpha: "none",
  });
  try {
    const rgba = pixelsThroughWebGL(bitmap) || pixelsThroughCanvas(bitmap);
    return { width: bitmap.width, height: bitmap.height, rgba };
  } finally {
    bitmap.close();
  }
}

function pixelsThroughWebGL(bitmap) {
  const gl = new OffscreenCanvas(1, 1).getContext("webgl2");
  if (!gl || Math.max(bitmap.width, bitmap.height) > gl.getParameter(gl.MAX_TEXTURE_SIZE)) return null;
  try {
    gl.bindTexture(gl.TEXTURE_2D, gl.createTexture());
    gl.pixelStorei(gl.UNPACK_PREMULTIPLY_ALPHA_WEBGL, false);
    gl.pixelStorei(gl.UNPACK_COLORSPACE_CONVERSION_WEBGL, gl.NONE);
    gl.pixelStorei(gl.UNPACK_FLIP_Y_WEBGL, false);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA8, gl.RGBA, gl.UNSIGNED_BYTE, bitmap);
    gl.bindFramebuffer(gl.FRAMEBUFFER, gl.createFramebuffer());
    gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, gl.getParameter(gl.TEXTURE_BINDING_2D), 0);
    if (gl.checkFramebufferStatus(gl.FRAMEBUFFER) !== gl.FRAMEBUFFER_COMPLETE) return null;
    // The texture's first row is the image's top one, and so is row 0 read.
    const rgba = new Uint8Array(bitmap.width * bitmap.height * 4);
    gl.readPixels(0, 0, bitmap.width, bitmap.height, gl.RGBA, gl.UNSIGNED_BYTE, rgba);
    return gl.getError() === gl.NO_ERROR ? rgba : null;
  } finally {
    const lose = gl.getExtension("WEBGL_lose_context");
    if (lose) lose.loseContext();
  }
}

function pixelsThroughCanvas(bitmap) {
  const context = new OffscreenCanvas(bitmap.width, bitmap.height).getContext("2d", { willReadFrequently: true });
  context.drawImage(bitmap, 0, 0);
  return new Uint8Array(context.getImageData(0, 0, bitmap.width, bitmap.height).data.buffer);
}

async function pngOfRgba(width, height, rgba) {
  const canvas = new OffscreenCanvas(width, height);
  canvas.getContext("2d").putImageData(new ImageData(new Uint8ClampedArray(rgba), width, height), 0, 0);
  const blob = await canvas.convertToBlob({ type: "image/png" });
  return new Uint8Array(await blob.arrayBuffer());
}

// The pixels go to a folder beside the skin's, whatever the skin is called.
function describeIn(Module, FS, call, name) {
  const pixels = FS.cwd() + "-pixels";
  FS.mkdir(pixels);
  const json = call("lumenWebDescribe", ["string", "string", "string"], [name, pixels]);
  if (json === "") throw new ProgramFailure(failure(errors, "Lumen: " + name + ": cannot read"), text(errors));
  const description = JSON.parse(json);
  for (const bitmap of description.bitmaps) {
    for (const member of bitmap.members) {
      const file = pixels + "/" + bitmap.resource + "-" + member.index + ".rgba";
      if (member.error === "" && FS.analyzePath(file).exists) {
        member.pixels = {
          width: member.width,
          height: member.height,
          data: new Uint8ClampedArray(FS.readFile(file).buffer),
        };
      } else {
        member.pixels = null;
      }
    }
  }
  return description;
}

function findMember(description, id, memberIndex, name) {
  const bitmaps = description.bitmaps.filter((b) => String(b.id) === String(id));
  if (bitmaps.length === 0) throw new ProgramFailure("Lumen: " + name + ": has no bitmap of id " + id);
  const member = bitmaps[0].members[Number(memberIndex || 0)];
  if (!member || !member.pixels) {
    throw new ProgramFailure("Lumen: " + name + ": " + bitmaps[0].name + " has no intact member " + memberIndex);
  }
  return member;
}

const operations = {
  async tessel({ bytes, name }) {
    name = baseName(name, "skin.prc");
    return inFolder(bytes, name, "ERR: out of memory!", (Module, FS, call) => {
      const output = "compressed-" + name;
      const status = call("lumenWebTessel", ["number", "string", "string"], [name, output]);
      const report = text(printed);
      if (status !== 0) {
        throw new ProgramFailure(failure(printed.filter((l) => l.startsWith("ERR")), report.trim()), report);
      }
      return { skin: FS.readFile(output), report };
    });
  },
  async unpack({ bytes, name }) {
    name = baseName(name, "skin.prc");
    return inFolder(bytes, name, lumenOutOfMemory(name), (Module, FS, call) => {
      const output = "unpacked-" + name;
      const status = call("lumenWebUnpack", ["number", "string", "string"], [name, output]);
      if (status !== 0) throw new ProgramFailure(failure(errors, "Lumen: " + name + ": failed"), text(errors));
      return { skin: FS.readFile(output), report: text(printed) };
    });
  },
  async replace({ bytes, name, id, image, imageName }) {
    name = baseName(name, "skin.prc");
    imageName = baseName(imageName, "image.png");
    let pixels;
    try {
      pixels = await decodeImage(image);
    } catch (e) {
      throw new ProgramFailure("Lumen: " + imageName + ": not an image the browser can decode");
    }
    return inFolder(bytes, name, lumenOutOfMemory(name), (Module, FS, call) => {
      const output = "replaced-" + name;
      const at = Module._malloc(Math.max(1, pixels.rgba.length));
      if (at === 0) throw new ProgramFailure(lumenOutOfMemory(imageName));
      try {
        Module.HEAPU8.set(pixels.rgba, at);
        const status = call(
          "lumenWebReplace",
          ["number", "string", "string", "string", "number", "number", "number", "string"],
          [name, String(id), imageName, pixels.width, pixels.height, at, output]
        );
        if (status !== 0) throw new ProgramFailure(failure(errors, "Lumen: " + name + ": failed"), text(errors));
      } finally {
        Module._free(at);
      }
      return { skin: FS.readFile(output), report: text(printed) };
    });
  },
  async convert({ bytes, name }) {
    name = baseName(name, "skin.prc");
    return inFolder(bytes, name, "Error: Out of memory.", (Module, FS, call) => {
      const status = call("lumenWebConvert", ["number", "string"], [name]);
      const report = text(errors);
      if (status !== 0) throw new ProgramFailure(failure(errors, "Error: conversion failed"), report);
      const skin = FS.readFile(name);
      const end = skin.subarray(0, 32).indexOf(0);
      const databaseName = new TextDecoder("windows-1252").decode(skin.subarray(0, end < 0 ? 32 : end));
      return { skin, name, databaseName, report };
    });
  },
  async list({ bytes, name }) {
    name = baseName(name, "skin.prc");
    return inFolder(bytes, name, lumenOutOfMemory(name), (Module, FS, call) => {
      const status = call("lumenWebList", ["number", "string"], [name]);
      if (status !== 0 && errors.length) throw new ProgramFailure(failure(errors, ""), text(printed) + text(errors));
      return text(printed);
    });
  },
  // Damage is what check reports, not a failure of the call: the text says it.
  async check({ bytes, name }) {
    name = baseName(name, "skin.prc");
    return inFolder(bytes, name, lumenOutOfMemory(name), (Module, FS, call) => {
      call("lumenWebCheck", ["number", "string"], [name]);
      if (errors.length) throw new ProgramFailure(failure(errors, ""), text(printed) + text(errors));
      return text(printed);
    });
  },
  async describe({ bytes, name }) {
    name = baseName(name, "skin.prc");
    return inFolder(bytes, name, lumenOutOfMemory(name), (Module, FS, call) => {
      const listStatus = call("lumenWebList", ["number", "string"], [name]);
      if (listStatus !== 0 && errors.length) throw new ProgramFailure(failure(errors, ""), text(errors));
      const list = text(printed);
      printed = [];
      const checkStatus = call("lumenWebCheck", ["number", "string"], [name]);
      const check = text(printed);
      const description = describeIn(Module, FS, call, name);
      return { ...description, list, check, damaged: checkStatus !== 0 };
    });
  },
  async pngOf({ bytes, name, id, memberIndex }) {
    name = baseName(name, "skin.prc");
    const member = await inFolder(bytes, name, lumenOutOfMemory(name), (Module, FS, call) =>
      findMember(describeIn(Module, FS, call, name), id, memberIndex, name)
    );
    return pngOfRgba(member.width, member.height, member.pixels.data);
  },
};

function transferables(value, found = []) {
  if (value instanceof Uint8Array || value instanceof Uint8ClampedArray) {
    if (!found.includes(value.buffer)) found.push(value.buffer);
  } else if (value && typeof value === "object") {
    for (const item of Object.values(value)) transferables(item, found);
  }
  return found;
}

// One request at a time, in the order they came: the module is single-threaded
// and every request works in its own folder.
let queue = Promise.resolve();
self.onmessage = (event) => {
  const { id, op, args } = event.data;
  queue = queue.then(async () => {
    currentId = id;
    try {
      if (!Object.hasOwn(operations, op)) throw new ProgramFailure("window.lumen has no " + op);
      const result = await operations[op](args);
      postMessage({ id, result }, transferables(result));
    } catch (e) {
      const message = e instanceof ProgramFailure ? e.message : "Lumen: " + String((e && e.message) || e);
      postMessage({ id, error: message, report: e.report || "" });
    }
  });
};
