// The page's state and its controls: skins open in tabs, one toolbar for
// the current one, a history of changes per skin for Undo, and every call
// into window.lumen reported on the page, its failures as error cards.

const skins = [];
let currentSkin = null;
let nextSkinKey = 1;
let workInFlight = 0;
let workLabel = "";

function $(id) {
  return document.getElementById(id);
}

function errorText(error) {
  if (error && typeof error.message === "string" && error.message !== "") {
    return error.message;
  }
  return String(error);
}

function hasUnsavedChanges(skin) {
  return skin.bytes !== skin.savedBytes;
}

// Runs one call into the core with the progress line shown; bitmaps done are
// reported by lumen.onprogress while the Worker works.
async function withProgress(what, work) {
  workInFlight += 1;
  $("progress").hidden = false;
  $("progress-bar").removeAttribute("value");
  workLabel = what;
  $("progress-text").textContent = what + "\u2026";
  updateToolbar();
  try {
    return await work();
  } finally {
    workInFlight -= 1;
    if (workInFlight === 0) {
      $("progress").hidden = true;
    }
    updateToolbar();
  }
}

function showProgress(done, total, what) {
  if (workInFlight === 0) {
    return;
  }
  const bar = $("progress-bar");
  bar.max = Math.max(total, 1);
  bar.value = Math.min(done, bar.max);
  $("progress-text").textContent =
      workLabel + ": bitmap " + done + " of " + total + (what ? " (" + what + ")" : "");
}

function addNotice(skin, notice) {
  skin.notices.unshift(notice);
  skin.notices.length = Math.min(skin.notices.length, 3);
}

// Redraws what is inside container; the control that had the keyboard's
// focus (known by its data-key) has it again afterwards, so that a keyboard
// user keeps their place however often the page redraws.
function redraw(container, children) {
  const active = document.activeElement;
  const key = active && container.contains(active) ? active.dataset.key : undefined;
  container.replaceChildren(...children);
  if (key !== undefined) {
    const again = container.querySelector('[data-key="' + CSS.escape(key) + '"]');
    if (again) {
      again.focus({preventScroll: true});
    }
  }
}

function showSkin(skin) {
  if (!skin.panel) {
    return;
  }
  const scroll = window.scrollY;
  redraw(skin.panel, skinContent(skin));
  window.scrollTo(0, scroll);
}

function renderTabs() {
  redraw($("tabs"), skins.map((skin) => {
    const selected = skin === currentSkin;
    const tab = el("button", {
      type: "button", role: "tab", id: "tab-" + skin.key, "data-key": "tab-" + skin.key,
      "aria-selected": selected ? "true" : "false",
      "aria-controls": "panel-" + skin.key, tabindex: selected ? "0" : "-1",
      onclick: () => selectSkin(skin), onkeydown: (event) => moveBetweenTabs(event, skin)
    }, skin.fileName, hasUnsavedChanges(skin)
                          ? el("span", {class: "unsaved", title: "Changes not downloaded"}, " \u2022")
                          : null);
    if (hasUnsavedChanges(skin)) {
      tab.setAttribute("aria-description", "changes not downloaded");
    }
    const close = el("button", {type: "button", class: "close", "data-key": "close-" + skin.key,
                                "aria-label": "Close " + skin.fileName,
                                title: "Close " + skin.fileName, onclick: () => closeSkin(skin)}, "\u00d7");
    return el("div", {class: selected ? "tab-item current" : "tab-item", role: "presentation"}, tab, close);
  }));
}

function moveBetweenTabs(event, skin) {
  const step = {ArrowRight: 1, ArrowLeft: -1}[event.key];
  let target = null;
  if (step) {
    target = skins[(skins.indexOf(skin) + step + skins.length) % skins.length];
  } else if (event.key === "Home") {
    target = skins[0];
  } else if (event.key === "End") {
    target = skins[skins.length - 1];
  }
  if (target) {
    event.preventDefault();
    selectSkin(target);
    $("tab-" + target.key).focus();
  }
}

function updateToolbar() {
  const skin = currentSkin;
  document.title = skin ? (hasUnsavedChanges(skin) ? "\u2022 " : "") + skin.fileName + " \u2013 Lumen"
                        : "Lumen: Palm OS skin workbench";
  $("toolbar").hidden = skin === null;
  $("welcome").hidden = skins.length > 0;
  // Busy buttons stay focusable (aria-disabled): a disabled one would drop
  // the keyboard's focus each time the core works.
  const ready = skin !== null && skin.described !== null;
  const busy = workInFlight > 0 ? "true" : "false";
  for (const id of ["download-skin", "download-compressed", "download-unpacked", "convert-orvane", "undo"]) {
    $(id).disabled = !ready;
    $(id).setAttribute("aria-disabled", busy);
  }
  $("undo").disabled = !ready || skin.history.length === 0;
  renderTabs();
}

function selectSkin(skin) {
  currentSkin = skin;
  for (const other of skins) {
    other.panel.hidden = other !== skin;
  }
  updateToolbar();
}

function closeSkin(skin) {
  if (hasUnsavedChanges(skin) &&
      !window.confirm(skin.fileName + " has changes that were not downloaded. Close it anyway?")) {
    return;
  }
  const index = skins.indexOf(skin);
  skins.splice(index, 1);
  skin.panel.remove();
  if (currentSkin === skin) {
    currentSkin = skins[Math.min(index, skins.length - 1)] || null;
  }
  if (currentSkin) {
    selectSkin(currentSkin);
    $("tab-" + currentSkin.key).focus();
  } else {
    updateToolbar();
    $("open-skin").focus();
  }
}

async function describeInto(skin, bytes) {
  skin.described = await withProgress("Reading " + skin.fileName, () => window.lumen.describe(bytes, skin.fileName));
}

async function openSkinFile(file) {
  const chosenAt = performance.now();
  const skin = {
    key: nextSkinKey++, fileName: file.name, original: null, bytes: null, savedBytes: null,
    history: [], described: null, openError: "", notices: [], cardErrors: new Map(),
    changed: new Set(), panel: null, replacing: Promise.resolve()
  };
  skin.panel = el("section", {class: "skin", role: "tabpanel", id: "panel-" + skin.key,
                              "aria-labelledby": "tab-" + skin.key});
  $("skins").append(skin.panel);
  skins.push(skin);
  selectSkin(skin);
  showSkin(skin);
  try {
    // The opened file is read once and never written: every change makes a
    // new array and the original stays in skin.original.
    skin.original = new Uint8Array(await file.arrayBuffer());
    skin.bytes = skin.original;
    skin.savedBytes = skin.original;
    await describeInto(skin, skin.bytes);
  } catch (error) {
    skin.openError = errorText(error);
  }
  showSkin(skin);
  updateToolbar();
  // From the choice to every card drawn: what opening a skin costs a person.
  skin.shownMs = Math.round(performance.now() - chosenAt);
  const shown = skin.panel.querySelector(".shown-time");
  if (shown) {
    shown.textContent = shownTimeText(skin);
  }
}

function openSkinFiles(files) {
  const rejected = files.filter((file) => !isSkinFile(file));
  for (const file of files.filter(isSkinFile)) {
    openSkinFile(file);
  }
  if (rejected.length > 0) {
    pageError("Not opened: " + rejected.map((file) => file.name).join(", "),
              "Lumen opens skins (.prc files). To replace a bitmap, drop the image on its card.");
  }
}

// Replacements of one skin run one after another, each on the skin the one
// before it left, so that two images dropped at once both count.
function replaceBitmap(skin, bitmap, file) {
  skin.replacing = skin.replacing.then(() => replaceNow(skin, bitmap, file));
}

async function replaceNow(skin, bitmap, file) {
  const name = bitmapName(bitmap);
  if (skin.cardErrors.delete(name)) {
    showSkin(skin);
  }
  try {
    const image = new Uint8Array(await file.arrayBuffer());
    const before = skin.bytes;
    const after = await withProgress("Replacing " + name + " with " + file.name,
                                     () => window.lumen.replace(before, String(bitmap.id), image, skin.fileName, file.name));
    const described = await withProgress("Reading the new skin", () => window.lumen.describe(after, skin.fileName));
    skin.history.push({bytes: before, described: skin.described, changed: new Set(skin.changed),
                       notices: skin.notices.slice(), undone: name + " is as it was before " + file.name + "."});
    skin.bytes = after;
    skin.described = described;
    skin.changed.add(name);
    addNotice(skin, {title: "Replaced " + name, text: name + " was drawn anew from " + file.name +
                     ", as the handheld will show it. Undo takes it back."});
  } catch (error) {
    skin.cardErrors.set(name, errorText(error));
  }
  showSkin(skin);
  updateToolbar();
}

function undo() {
  const skin = currentSkin;
  if (!skin || skin.history.length === 0 || workInFlight > 0) {
    return;
  }
  const last = skin.history.pop();
  skin.bytes = last.bytes;
  skin.described = last.described;
  skin.changed = last.changed;
  skin.notices = last.notices;
  skin.cardErrors.clear();
  addNotice(skin, {title: "Undone", text: last.undone});
  showSkin(skin);
  updateToolbar();
}

// Each save runs on the current skin as it is now (with its changes); a
// failure becomes an error card in that skin's tab, never a dead page.
async function save(what, work) {
  const skin = currentSkin;
  if (!skin || !skin.described || workInFlight > 0) {
    return;
  }
  const bytes = skin.bytes;
  try {
    const notice = await withProgress(what + " " + skin.fileName, () => work(skin, bytes));
    if (notice) {
      addNotice(skin, notice);
    }
    skin.savedBytes = bytes;
  } catch (error) {
    addNotice(skin, {title: what + " failed", text: errorText(error), error: true});
  }
  showSkin(skin);
  updateToolbar();
}

async function downloadPng(skin, bitmap, member, familySize) {
  const name = bitmapName(bitmap);
  skin.cardErrors.delete(name);
  try {
    const png = await withProgress("Writing PNG of " + name,
                                   () => window.lumen.pngOf(skin.bytes, String(bitmap.id), member.index, skin.fileName));
    downloadBytes(png, baseNameOf(skin.fileName) + "-" + memberFileName(bitmap, member, familySize) + ".png",
                  "image/png");
  } catch (error) {
    skin.cardErrors.set(name, errorText(error));
    showSkin(skin);
  }
}

function pageError(title, text) {
  if (currentSkin) {
    addNotice(currentSkin, {title, text, error: true});
    showSkin(currentSkin);
    return;
  }
  const card = el("section", {class: "card error-card", role: "alert"}, el("h2", {text: title}),
                  el("p", {text: text}));
  $("skins").before(card);
}

function connectControls() {
  $("open-skin").addEventListener("change", (event) => {
    const files = Array.from(event.target.files);
    event.target.value = "";
    openSkinFiles(files);
  });
  $("download-skin").addEventListener("click", () => save("Saving", async (skin, bytes) => {
    const base = baseNameOf(skin.fileName);
    downloadBytes(bytes, bytes === skin.original ? base + ".prc" : base + "-edited.prc");
  }));
  $("download-compressed").addEventListener("click", () => save("Compressing", async (skin, bytes) => {
    const result = await window.lumen.tessel(bytes, skin.fileName);
    downloadBytes(result.skin, baseNameOf(skin.fileName) + "-compressed.prc");
    return {title: "Tessel", lines: result.report};
  }));
  $("download-unpacked").addEventListener("click", () => save("Unpacking", async (skin, bytes) => {
    downloadBytes(await window.lumen.unpack(bytes, skin.fileName), baseNameOf(skin.fileName) + "-unpacked.prc");
  }));
  $("convert-orvane").addEventListener("click", () => save("Converting", async (skin, bytes) => {
    // Recast converts in place and names the database anew; the download
    // carries that name, so that it does not pass for the file it came from.
    const result = await window.lumen.convertNamed(bytes, skin.fileName);
    const derived = result.databaseName !== undefined ? result.databaseName : result.name;
    downloadBytes(result.skin, /\.(prc|pdb)$/i.test(derived) ? derived : derived + ".prc");
    return {title: "Converted to Orvane as \u201c" + derived + "\u201d",
            lines: result.report || "Conversion to Orvane format successful."};
  }));
  $("undo").addEventListener("click", undo);
  for (const radio of document.querySelectorAll('input[name="zoom"]')) {
    radio.addEventListener("change", applyZoom);
  }
  // Browser zoom and moving to another screen change the device pixel ratio.
  window.addEventListener("resize", applyZoom);
  applyZoom();
  document.addEventListener("keydown", (event) => {
    if ((event.ctrlKey || event.metaKey) && !event.shiftKey && !event.altKey &&
        event.key.toLowerCase() === "z") {
      event.preventDefault();
      undo();
    }
  });
}

// Every skin pixel becomes a whole number of device pixels, as near the
// chosen zoom as the screen allows, so that no pixel is drawn wider than
// its neighbour on a screen that scales by 125 or 150 %.
function applyZoom() {
  const zoom = Number(document.querySelector('input[name="zoom"]:checked').value);
  const ratio = window.devicePixelRatio || 1;
  $("skins").style.setProperty("--z", Math.max(1, Math.round(zoom * ratio)) / ratio);
}

// Skins dropped anywhere open in new tabs; a drop on a bitmap card is the
// card's own (it replaces that bitmap) and never reaches here.
function connectDropping() {
  let depth = 0;
  document.addEventListener("dragenter", (event) => {
    if (carriesFiles(event)) {
      depth += 1;
      document.body.classList.add("drag-over");
    }
  });
  document.addEventListener("dragleave", () => {
    depth = Math.max(depth - 1, 0);
    if (depth === 0) {
      document.body.classList.remove("drag-over");
    }
  });
  document.addEventListener("dragover", (event) => {
    if (carriesFiles(event)) {
      event.preventDefault();
      event.dataTransfer.dropEffect = "copy";
    }
  });
  document.addEventListener("drop", (event) => {
    depth = 0;
    document.body.classList.remove("drag-over");
    if (carriesFiles(event)) {
      event.preventDefault();
      openSkinFiles(filesOf(event.dataTransfer));
    }
  });
}

function startPage() {
  connectControls();
  connectDropping();
  window.lumen.onprogress = showProgress;
  window.addEventListener("beforeunload", (event) => {
    if (skins.some(hasUnsavedChanges)) {
      event.preventDefault();
      event.returnValue = "";
    }
  });
  window.addEventListener("unhandledrejection", (event) => pageError("Something failed", errorText(event.reason)));
  window.addEventListener("error", (event) => pageError("Something failed", event.message));
  updateToolbar();
}

// Every page script is in, and window.lumen defined, by the time the
// document has been read.
if (document.readyState === "loading") {
  document.addEventListener("DOMContentLoaded", startPage);
} else {
  startPage();
}
