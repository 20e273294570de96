// What one skin looks like on the page: its header and listing as Lumen
// list prints them, damage as Lumen check words it, and a card per bitmap
// with every member on a dark and a light ground.

function el(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) {
    if (value === undefined || value === null || value === false) {
      continue;
    }
    if (name === "class") {
      node.className = value;
    } else if (name === "text") {
      node.textContent = value;
    } else if (name.startsWith("on")) {
      node.addEventListener(name.slice(2), value);
    } else {
      node.setAttribute(name, value === true ? "" : value);
    }
  }
  node.append(...children.filter((child) => child !== null && child !== undefined));
  return node;
}

function bitmapName(bitmap) {
  return bitmap.name || bitmap.type + " " + bitmap.id;
}

// Lumen check prints "<file>: <type> <id>: <damage>" per damaged resource and
// ends with "<file>: N bitmaps (M in containers), ...".
function damageOf(checkText) {
  const lines = checkText.split("\n").filter((line) => line !== "");
  const summary = lines.length > 0 ? lines[lines.length - 1] : "";
  const shown = summary.match(/^(.*): \d+ bitmaps? \(/);
  const prefix = shown ? shown[1] + ": " : "";
  const damage = [];
  for (const line of lines.slice(0, -1)) {
    const rest = line.startsWith(prefix) ? line.slice(prefix.length) : line;
    const parts = rest.match(/^(.+? \d+): (.*)$/);
    damage.push(parts ? {resource: parts[1], words: parts[2], line: rest}
                      : {resource: "", words: rest, line: rest});
  }
  return {damage, summary: summary.startsWith(prefix) ? summary.slice(prefix.length) : summary};
}

// Palm OS counts seconds from 1904, which sets the top bit for any date
// since 1972; a date without it was written by a tool counting from 1970.
// 0 is "never".
function palmDate(seconds) {
  if (!seconds) {
    return "never";
  }
  const epoch = seconds >= 0x80000000 ? Date.UTC(1904, 0, 1) : Date.UTC(1970, 0, 1);
  const date = new Date(epoch + seconds * 1000);
  return date.toISOString().slice(0, 19).replace("T", " ");
}

function headerRows(header) {
  const hex = (value) => "0x" + value.toString(16).padStart(4, "0");
  return [
    ["name", header.name], ["type", header.type], ["creator", header.creator],
    ["version", header.version], ["attributes", header.attributes === undefined ? undefined : hex(header.attributes)],
    ["created", header.creationDate === undefined ? undefined : palmDate(header.creationDate)],
    ["modified", header.modificationDate === undefined ? undefined : palmDate(header.modificationDate)],
    ["backed up", header.lastBackupDate === undefined ? undefined : palmDate(header.lastBackupDate)],
    ["resources", header.resources],
    ["file size", header.fileSize === undefined ? undefined : header.fileSize.toLocaleString("en") + " bytes"],
  ].filter(([, value]) => value !== undefined);
}

function shownTimeText(skin) {
  return skin.shownMs === undefined ? "" : "Shown " + skin.shownMs + " ms after it was chosen";
}

function headerCard(skin) {
  const fields = el("dl", {class: "header-fields"});
  fields.append(el("dt", {text: "file"}), el("dd", {text: skin.fileName}));
  for (const [label, value] of headerRows(skin.described.header || {})) {
    fields.append(el("dt", {text: label}), el("dd", {text: String(value)}));
  }
  const {summary} = damageOf(skin.described.check || "");
  return el("section", {class: "card", "aria-label": "Header of " + skin.fileName},
            el("h2", {text: "Header"}), fields,
            el("p", {class: "status-line", text: summary}),
            el("p", {class: "status-line shown-time", text: shownTimeText(skin)}));
}

function listingCard(skin) {
  return el("section", {class: "card", "aria-label": "Resources of " + skin.fileName},
            el("h2", {text: "Resources (Lumen list)"}),
            el("pre", {class: "listing", tabindex: "0", "data-key": "listing", text: skin.described.list}));
}

function noticeCard(skin, notice, index) {
  const dismiss = el("button", {
    class: "dismiss", type: "button", "data-key": "dismiss-" + index, "aria-label": "Dismiss: " + notice.title,
    onclick: () => { skin.notices.splice(index, 1); showSkin(skin); }
  }, "\u00d7");
  return el("section", {class: notice.error ? "card notice error-card" : "card notice",
                        role: notice.error ? "alert" : "status"},
            dismiss, el("h2", {text: notice.title}),
            notice.lines ? el("pre", {text: notice.lines}) : el("p", {text: notice.text}));
}

// Damage in Lumen check's words, on the card of the resource it names.
function damageLine(entry) {
  return el("p", {class: "damage card-error", "data-resource": entry.resource, role: "alert",
                  text: entry.resource === "" ? entry.words : entry.resource + ": " + entry.words});
}

function damageCard(entry) {
  return el("section", {class: "card error-card"},
            el("h3", {text: entry.resource === "" ? "Damage" : entry.resource + " is damaged"}),
            damageLine(entry));
}

function memberCanvas(pixels) {
  const canvas = el("canvas", {width: pixels.width, height: pixels.height});
  canvas.style.setProperty("--w", pixels.width);
  canvas.style.setProperty("--h", pixels.height);
  return canvas;
}

function paint(canvases, pixels) {
  if (pixels.width === 0 || pixels.height === 0) {
    return;
  }
  const data = pixels.data instanceof Uint8ClampedArray
                   ? pixels.data
                   : new Uint8ClampedArray(pixels.data.buffer, pixels.data.byteOffset, pixels.data.byteLength);
  const image = new ImageData(data, pixels.width, pixels.height);
  for (const canvas of canvases) {
    canvas.getContext("2d").putImageData(image, 0, 0);
  }
}

function memberFacts(member) {
  const facts = [member.width + "\u00d7" + member.height, member.depth + " bpp", "density " + member.density,
                 "version " + member.version, "compression " + member.compression];
  if (member.colors) {
    facts.push(member.colors);
  }
  facts.push(member.transparent ? "transparent " + member.transparency : "opaque");
  return facts.join(", ");
}

function memberFigure(skin, bitmap, member, position) {
  const name = bitmapName(bitmap);
  const count = bitmap.members.length;
  const label = count > 1 ? name + ", member " + (position + 1) + " of " + count : name;
  if (!member.pixels) {
    // The card above says what is wrong in Lumen check's words.
    return el("figure", {class: "member"},
              el("p", {class: "not-shown", text: member.error ? "Not shown: " + member.error : "Not shown"}),
              el("figcaption", {}, el("span", {class: "facts", text: memberFacts(member)})));
  }
  const dark = memberCanvas(member.pixels);
  const light = memberCanvas(member.pixels);
  dark.setAttribute("role", "img");
  dark.setAttribute("aria-label", label + " on a dark ground");
  light.setAttribute("role", "img");
  light.setAttribute("aria-label", label + " on a light ground");
  paint([dark, light], member.pixels);
  const png = el("button", {
    type: "button", "data-key": "png-" + name + "-" + position, "aria-label": "Download PNG of " + label,
    onclick: () => downloadPng(skin, bitmap, member, count)
  }, "Download PNG");
  return el("figure", {class: "member"},
            el("div", {class: "grounds"}, el("div", {class: "ground dark"}, dark),
               el("div", {class: "ground light"}, light)),
            el("figcaption", {}, el("span", {class: "facts", text: memberFacts(member)}), png));
}

function bitmapCard(skin, bitmap, damage) {
  const name = bitmapName(bitmap);
  const input = el("input", {type: "file", accept: "image/*,.png,.bmp,.gif,.jpg,.jpeg,.webp",
                             "data-key": "replace-" + name, "aria-label": "Replace " + name + " with an image"});
  input.addEventListener("change", () => {
    const file = input.files[0];
    input.value = "";
    if (file) {
      replaceBitmap(skin, bitmap, file);
    }
  });
  const error = skin.cardErrors.get(name);
  const changed = skin.changed.has(name);
  const card = el("article", {class: damage.length > 0 ? "card bitmap damaged" : "card bitmap",
                              "data-resource": name, "aria-label": name},
      el("div", {class: "bitmap-head"}, el("h3", {text: name}),
         changed ? el("span", {class: "changed-badge", text: "replaced"}) : null,
         el("span", {class: "stored", text: bitmap.stored || ""})),
      ...damage.map(damageLine),
      ...bitmap.members.map((member, position) => memberFigure(skin, bitmap, member, position)),
      el("div", {class: "replace"},
         el("label", {class: "button"}, "Replace with image\u2026", input),
         el("span", {class: "hint", text: "or drop an image here; members of its size are drawn anew"})),
      error ? el("p", {class: "card-error", role: "alert", text: error}) : null);
  card.addEventListener("dragover", (event) => {
    if (carriesFiles(event)) {
      event.preventDefault();
      event.stopPropagation();
      event.dataTransfer.dropEffect = "copy";
      card.classList.add("dragging");
    }
  });
  card.addEventListener("dragleave", () => card.classList.remove("dragging"));
  card.addEventListener("drop", (event) => {
    card.classList.remove("dragging");
    if (!carriesFiles(event)) {
      return;
    }
    event.preventDefault();
    event.stopPropagation();
    document.body.classList.remove("drag-over");
    const file = filesOf(event.dataTransfer)[0];
    if (file) {
      replaceBitmap(skin, bitmap, file);
    }
  });
  return card;
}

function skinContent(skin) {
  const parts = skin.notices.map((notice, index) => noticeCard(skin, notice, index));
  if (skin.openError) {
    parts.push(el("section", {class: "card error-card", role: "alert"},
                  el("h2", {text: "Lumen cannot open " + skin.fileName}),
                  el("p", {text: skin.openError})));
    return parts;
  }
  if (!skin.described) {
    parts.push(el("section", {class: "card notice", role: "status"},
                  el("p", {text: "Reading " + skin.fileName + "\u2026"})));
    return parts;
  }
  parts.push(el("div", {class: "summary"}, headerCard(skin), listingCard(skin)));
  const {damage} = damageOf(skin.described.check || "");
  const bitmaps = skin.described.bitmaps || [];
  const onCards = new Set(bitmaps.map(bitmapName));
  const elsewhere = damage.filter((entry) => !onCards.has(entry.resource));
  if (elsewhere.length > 0) {
    parts.push(el("div", {class: "bitmaps damages", "aria-label": "Damage"}, ...elsewhere.map(damageCard)));
  }
  parts.push(el("div", {class: "bitmaps", "aria-label": "Bitmaps"},
                ...bitmaps.map((bitmap) => bitmapCard(skin, bitmap,
                                                      damage.filter((entry) => entry.resource === bitmapName(bitmap))))));
  return parts;
}
