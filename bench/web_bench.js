'use strict';
// The page's figures for the benchmark: the size of the module it loads,
// and in headless Chromium the time from choosing an image to its listing
// on the screen (the sample and the benchmark's big.d88) and the time to
// make the zip of all of big.d88's files (the extraction included).
// Reported, never failed.
//
//   node web_bench.js PAGE_DIR SAMPLE_IMAGE BIG_IMAGE [ROUNDS]
// puppeteer-core comes from the browser test's packages (NODE_PATH).

const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const puppeteer = require('puppeteer-core');

const [pageDir, sample, big] = process.argv.slice(2, 5).map((p) => path.resolve(p));
const rounds = Number(process.argv[5] || 3);

function median(values) {
  const sorted = values.slice().sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

function gzipSize(file) {
  return zlib.gzipSync(fs.readFileSync(file), { level: 9 }).length;
}

async function openTimed(page, image) {
  await page.evaluate(() => { window.d88page.state.timings.openToListing = 0; });
  const input = await page.$('#image-input');
  await input.uploadFile(image);
  await page.waitForFunction(() => window.d88page.state.timings.openToListing > 0, { timeout: 120000 });
  return page.evaluate(() => window.d88page.state.timings.openToListing);
}

async function zipTimed(page) {
  await page.evaluate(() => { window.d88page.state.timings.zip = 0; });
  await page.click('#zip-image');
  await page.waitForFunction(() => window.d88page.state.timings.zip > 0, { timeout: 120000 });
  return page.evaluate(() => window.d88page.state.timings.zip);
}

async function main() {
  const module = path.join(pageDir, 'd88unpack-module.js');
  const kib = (bytes) => (bytes / 1024).toFixed(1);
  const moduleGzip = gzipSize(module);
  const pageGzip = ['index.html', 'page.js', 'style.css', 'vendor/fflate.js']
    .reduce((sum, name) => sum + gzipSize(path.join(pageDir, name)), moduleGzip);
  console.log(`module d88unpack-module.js (WebAssembly inside)  ${kib(fs.statSync(module).size)} KiB, ` +
              `${kib(moduleGzip)} KiB gzip (target <= 150 KB: ${moduleGzip <= 150000 ? 'met' : 'missed'})`);
  console.log(`the whole page (module, script, style, zip library)  ${kib(pageGzip)} KiB gzip`);

  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'd88unpack-bench-'));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           `--user-data-dir=${profile}`],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1200, height: 900 });
    const session = await browser.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'deny' });
    await page.goto(`file://${path.join(pageDir, 'index.html')}`);
    await page.waitForSelector('body[data-ready="true"]');
    const report = (what, times, target) => {
      const m = median(times);
      console.log(`${what.padEnd(44)} ${m.toFixed(0).padStart(6)} ms  (${rounds} rounds, min ` +
                  `${Math.min(...times).toFixed(0)}, max ${Math.max(...times).toFixed(0)}; target <= ` +
                  `${target} ms: ${m <= target ? 'met' : 'missed'})`);
    };
    const times = { sample: [], big: [], zip: [] };
    // A warm-up round first, then the rounds timed.
    for (let round = 0; round <= rounds; round += 1) {
      const time = await openTimed(page, sample);
      if (round > 0) times.sample.push(time);
    }
    for (let round = 0; round <= rounds; round += 1) {
      const openTime = await openTimed(page, big);
      const zipTime = await zipTimed(page);
      if (round === 0) continue;
      times.big.push(openTime);
      times.zip.push(zipTime);
    }
    report('open to listing, sample.d88', times.sample, 100);
    report('open to listing, big.d88 (64 disks, 8192 files)', times.big, 1500);
    report('zip of all files of big.d88', times.zip, 3000);
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(error.stack || String(error));
  process.exit(1);
});
