// File names and downloads. Every name the page offers is derived from the
// name of the file that was opened, so that the downloads folder explains
// itself ("Blue-compressed.prc", "Blue-31000.png").

function baseNameOf(fileName) {
  const dot = fileName.lastIndexOf(".");
  const base = dot > 0 ? fileName.slice(0, dot) : fileName;
  return base === "" ? "skin" : base;
}

// What the file systems of Windows, macOS and Linux all accept.
function safeFileName(name) {
  const cleaned = name.replace(/[\u0000-\u001f\u007f<>:"/\\|?*]/g, "_").replace(/[. ]+$/, "");
  return cleaned === "" ? "skin" : cleaned;
}

// As Lumen export names a member's PNG: the id alone for abmp, the type
// before it for other bitmaps, and depth and density for family members.
function memberFileName(bitmap, member, familySize) {
  let name = bitmap.type === "abmp" ? String(bitmap.id)
                                    : bitmap.type.replace(/[^0-9A-Za-z]/g, "_") + "-" + bitmap.id;
  if (familySize > 1) {
    name += "-" + member.depth + "bpp";
    if (member.density !== 72) {
      name += "-" + member.density;
    }
  }
  return name;
}

function downloadBytes(bytes, fileName, type) {
  const url = URL.createObjectURL(new Blob([bytes], {type: type || "application/octet-stream"}));
  const link = document.createElement("a");
  link.href = url;
  link.download = safeFileName(fileName);
  link.hidden = true;
  document.body.append(link);
  link.click();
  link.remove();
  // The download has taken its copy by the next turn; the URL may go then.
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

function isSkinFile(file) {
  return /\.(prc|pdb)$/i.test(file.name);
}

function filesOf(dataTransfer) {
  return dataTransfer && dataTransfer.files ? Array.from(dataTransfer.files) : [];
}

function carriesFiles(event) {
  return event.dataTransfer && Array.from(event.dataTransfer.types || []).includes("Files");
}
