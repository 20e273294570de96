// What both browser tests need before they start: playwright-core (npm ci in
// this folder), Debian's Chromium and the native programs to compare with.
// Without one of them a test is skipped (exit 77) saying which, unless
// REQUIRE_CHROMIUM=1, as in CI, where that is a failure.
import { existsSync } from "node:fs";
import { join } from "node:path";

export const chromiumPath = "/usr/bin/chromium";

export function skip(reason) {
  if (process.env.REQUIRE_CHROMIUM === "1") {
    console.error("FAILED (REQUIRE_CHROMIUM=1): " + reason);
    process.exit(1);
  }
  console.log("SKIPPED: " + reason);
  process.exit(77);
}

// playwright-core's module, once everything is there.
export async function browserAndPrograms(nativeBin) {
  let playwright;
  try {
    playwright = await import("playwright-core");
  } catch {
    skip("playwright-core is not installed: run `npm ci` in tests/web");
  }
  if (!existsSync(chromiumPath)) skip("chromium is not installed (Debian package chromium)");
  for (const program of ["Tessel", "Lumen", "Recast"]) {
    if (!existsSync(join(nativeBin, program))) {
      skip(`no native ${program} in ${nativeBin}: build the test preset first`);
    }
  }
  return playwright;
}
