// Debian's Chromium, headless, in a private profile, with nothing that calls home.
import { chromium } from "playwright-core";

export function launchChromium(profile, options = {}) {
  return chromium.launchPersistentContext(profile, {
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--no-first-run"],
    ...options,
  });
}
