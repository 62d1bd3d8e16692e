'use strict';
// The page in a real browser: headless Chromium, driven through the DevTools
// protocol by puppeteer-core (installed from package-lock.json). Every
// answer the page gives is checked against the native tool's own: the
// listing and its notes, the map's hover titles, a downloaded file, the zip
// of the image's files, and an image saved after a replace, an add and a
// remove, byte for byte against the native repack of the same edits.
//
//   node browser_test.js --native-build DIR --page DIR --work DIR

const assert = require('assert');
const fs = require('fs');
const http = require('http');
const path = require('path');
const { spawnSync } = require('child_process');
const puppeteer = require('puppeteer-core');

function options() {
  const given = {};
  const args = process.argv.slice(2);
  for (let i = 0; i + 1 < args.length; i += 2) {
    given[args[i].replace(/^--/, '')] = path.resolve(args[i + 1]);
  }
  return given;
}

const given = options();
const nativeTool = path.join(given['native-build'], 'd88unpack');
const makeSample = path.join(given['native-build'], 'tests', 'make_sample');
const pageDir = given.page;
const work = given.work;
const fflate = require(path.join(pageDir, 'vendor', 'fflate.js'));

// Chromium as the test machine has it, told to stay off the network and to
// keep nothing from one run to the next.
const chromiumFlags = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

function freshFolder(folder) {
  fs.rmSync(folder, { recursive: true, force: true });
  fs.mkdirSync(folder, { recursive: true });
  return folder;
}

function native(folder, args) {
  const result = spawnSync(nativeTool, args, { cwd: folder, maxBuffer: 1 << 28 });
  return { status: result.status, out: result.stdout.toString('utf8'), err: result.stderr.toString('utf8') };
}

// Every file under folder by its path from there.
function readTree(folder, prefix = '', tree = {}) {
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    const name = prefix + entry.name;
    if (entry.isDirectory()) readTree(path.join(folder, entry.name), `${name}/`, tree);
    else tree[name] = fs.readFileSync(path.join(folder, entry.name));
  }
  return tree;
}

function assertSameFiles(actual, expected, what) {
  assert.deepStrictEqual(Object.keys(actual).sort(), Object.keys(expected).sort(), `${what}: file names`);
  for (const name of Object.keys(expected)) {
    assert.ok(Buffer.from(actual[name]).equals(expected[name]), `${what}: ${name} differs`);
  }
}

// The native extraction of an image with --unicode-names (and more).
function nativeExtraction(image, extra = []) {
  const folder = freshFolder(path.join(work, 'native-extraction'));
  fs.copyFileSync(image, path.join(folder, path.basename(image)));
  native(folder, ['--unicode-names', '--output=out'].concat(extra, [path.basename(image)]));
  return readTree(path.join(folder, 'out'));
}

// Downloads as the browser reports them: each file is saved under the
// download's id and read once the browser says it is complete, never while
// it is still being written.
class Downloads {
  constructor(browser) { this.browser = browser; this.count = 0; }

  // Runs action (a click) and returns the one file it downloaded.
  async take(action) {
    const folder = freshFolder(path.join(work, `download-${this.count++}`));
    const session = await this.browser.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior',
                       { behavior: 'allowAndName', downloadPath: folder, eventsEnabled: true });
    const begun = new Promise((resolve) => session.once('Browser.downloadWillBegin', resolve));
    const finished = new Promise((resolve, reject) => {
      session.on('Browser.downloadProgress', (event) => {
        if (event.state === 'completed') resolve(event);
        if (event.state === 'canceled') reject(new Error('the download was canceled'));
      });
    });
    let timer;
    const timeout = new Promise((resolve, reject) => {
      timer = setTimeout(() => reject(new Error('no download finished within 20 s')), 20000);
    });
    await action();
    const started = await Promise.race([begun, timeout]);
    await Promise.race([finished, timeout]);
    clearTimeout(timer);
    await session.detach();
    return { name: started.suggestedFilename, bytes: fs.readFileSync(path.join(folder, started.guid)) };
  }
}

async function openImage(page, image) {
  const before = await page.evaluate(() => window.d88page.state.timings.openToListing || 0);
  await page.evaluate(() => { window.d88page.state.timings.openToListing = 0; });
  const input = await page.$('#image-input');
  await input.uploadFile(image);
  await page.waitForFunction(() => window.d88page.state.timings.openToListing > 0);
  return before;
}

// The listing as the page shows it: per disk its heading and its rows.
function pageListing(page) {
  return page.evaluate(() => [...document.querySelectorAll('section.disk')].map((disk) => ({
    heading: disk.querySelector('h3').textContent,
    rows: [...disk.querySelectorAll('tbody tr')].map((row) =>
      [...row.cells].slice(0, 5).map((cell) => cell.textContent)),
    raw: [...disk.querySelectorAll('tbody .entry')].map((cell) => cell.title),
    notes: [...disk.querySelectorAll('.notes li')].map((note) => note.textContent),
  })));
}

// What the page must show, from the native --json --test document and notes.
function expectedListing(image) {
  const folder = path.dirname(image);
  const test = native(folder, ['--json', '--test', '--unicode-names', path.basename(image)]);
  const words = { complete: 'whole', partial: 'broken', missing: 'broken: nothing to read',
                  bad_status: 'damaged', not_a_file: 'no file' };
  const hex = (n) => n.toString(16).padStart(2, '0');
  const notes = test.err.split('\n').filter((line) => line !== '');
  return JSON.parse(test.out).disks.map((disk) => ({
    heading: `Disk ${String(disk.number).padStart(3, '0')} [${disk.name.text}]`,
    rows: disk.entries.map((entry) => [entry.name.text, `${hex(entry.start.track)} ${hex(entry.start.sector)}`,
      `${hex(entry.end.track)} ${hex(entry.end.sector)}`, String(entry.size), words[entry.state]]),
    raw: disk.entries.map((entry) => `raw bytes: ${entry.name.hex.toUpperCase().match(/../g).join(' ')}`),
    notes: notes.filter((note) => note.startsWith(`d88unpack: ${String(disk.number).padStart(3, '0')}/`)),
  }));
}

async function checkListingAndMap(page, image) {
  await openImage(page, image);
  assert.deepStrictEqual(await pageListing(page), expectedListing(image), 'the listing');
  await page.click('#disk-0 details.map summary');
  await page.waitForSelector('#disk-0 details.map svg');
  const titles = await page.$$eval('#disk-0 details.map svg title', (all) => all.map((t) => t.textContent));
  const svg = path.join(work, 'native.svg');
  native(path.dirname(image), ['--map', `--map-svg=${svg}`, '--disk=0', '--unicode-names', path.basename(image)]);
  const expected = [...fs.readFileSync(svg, 'utf8').matchAll(/<title>([^<]*)<\/title>/g)]
    .map((match) => match[1].replace(/&amp;/g, '&').replace(/&lt;/g, '<').replace(/&gt;/g, '>')
      .replace(/&quot;/g, '"').replace(/&#39;|&apos;/g, "'"));
  assert.ok(expected.length > 0, 'the native map has titles');
  assert.deepStrictEqual(titles, expected, 'the map\'s titles');
}

function unzip(bytes) {
  const files = fflate.unzipSync(new Uint8Array(bytes));
  const tree = {};
  for (const [name, data] of Object.entries(files)) if (!name.endsWith('/')) tree[name] = data;
  return tree;
}

async function checkDownloads(page, downloads, image) {
  const expected = nativeExtraction(image);
  const one = await downloads.take(() => page.click('#disk-0 tbody tr:nth-child(2) button.entry'));
  assert.strictEqual(one.name, 'POEM');
  assert.ok(one.bytes.equals(expected['000/POEM']), 'the downloaded file');
  const zip = await downloads.take(() => page.click('#zip-image'));
  assertSameFiles(unzip(zip.bytes), expected, 'the zip of the image');
}

async function checkUnclaimedZip(page, downloads, image) {
  await page.click('#with-unclaimed');
  const zip = await downloads.take(() => page.click('#disk-0 button[data-action="zip-disk"]'));
  await page.click('#with-unclaimed');
  assertSameFiles(unzip(zip.bytes), nativeExtraction(image, ['--unclaimed', '--disk=0']),
                  'the zip of a disk with its unclaimed pieces');
}

async function chooseFile(page, button, file) {
  const [chooser] = await Promise.all([page.waitForFileChooser(), page.click(button)]);
  await chooser.accept([file]);
  await page.waitForFunction(() => !document.getElementById('edits').hidden);
}

// Replace POEM by a longer text (it moves or grows: --relocate), add SAVE,
// remove GAME, and try a Japanese name too long for an entry: refused with
// the tool's own message.
async function checkEdits(page, downloads, image) {
  const inputs = freshFolder(path.join(work, 'inputs'));
  const poem = path.join(inputs, 'longer-poem.txt');
  fs.writeFileSync(poem, 'A longer poem.\n'.repeat(300));
  const save = path.join(inputs, 'SAVE');
  fs.writeFileSync(save, 'Saved by a player.\n');
  await page.click('#disk-0 tbody tr:nth-child(2) button[data-action="edit"]');
  await chooseFile(page, '#disk-0 .entry-panel button[data-action="replace"]', poem);
  await chooseFile(page, '#disk-0 button[data-action="add"]', save);
  await page.click('#disk-0 tbody tr:nth-child(3) button[data-action="edit"]');
  await page.click('#disk-0 .entry-panel button[data-action="remove"]');
  // By keyboard: the panel takes the focus, Tab leads to the name field.
  await page.click('#disk-2 tbody tr:nth-child(1) button[data-action="edit"]');
  await page.type('#disk-2 .entry-panel input[name="to"]', 'ながいなまえ');
  await page.keyboard.press('Enter');
  await page.click('#preview');
  await page.waitForSelector('#disk-0 .after svg');
  const saved = await downloads.take(() => page.click('#save'));
  const shown = await page.$eval('#edit-output', (output) => output.textContent);

  const folder = freshFolder(path.join(work, 'native-repack'));
  const name = path.basename(image);
  fs.copyFileSync(image, path.join(folder, name));
  native(folder, ['--unicode-names', name]);
  fs.copyFileSync(poem, path.join(folder, '000', 'POEM'));
  fs.copyFileSync(save, path.join(folder, '000', 'SAVE'));
  const first = native(folder, ['--repack', '--relocate', '--add', '--remove=GAME', '--unicode-names', '--disk=0', name]);
  const second = native(folder, ['--repack', '--relocate', '--rename=メモ=ながいなまえ', '--unicode-names', '--disk=2', name]);
  assert.strictEqual(saved.name, name);
  assert.ok(!saved.bytes.equals(fs.readFileSync(image)), 'the edits changed the image');
  assert.ok(first.out.includes('removed 000/GAME'), 'the native repack removed GAME');
  assert.ok(saved.bytes.equals(fs.readFileSync(path.join(folder, name))), 'the saved image');
  assert.strictEqual(second.status, 1, 'the long name is refused');
  for (const line of (first.out + second.err).split('\n').filter((l) => l !== '')) {
    assert.ok(shown.includes(line), `the page shows "${line}"`);
  }
  assert.deepStrictEqual(await pageListing(page), expectedListing(path.join(folder, name)),
                         'the listing of the saved image');
}

// The page is reached by keyboard alone, and fits a phone's width.
async function checkKeyboardAndWidth(page) {
  await page.setViewport({ width: 360, height: 740 });
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
  assert.ok(overflow <= 0, `the page is ${overflow} px wider than a phone`);
  // A click on the title starts the Tab order from the top of the page.
  await page.click('h1');
  const reached = new Set();
  for (let i = 0; i < 12; i += 1) {
    await page.keyboard.press('Tab');
    reached.add(await page.evaluate(() => document.activeElement.id || document.activeElement.className));
  }
  assert.ok(reached.has('image-input'), 'Tab reaches the file picker');
  assert.ok(reached.has('zip-image'), 'Tab reaches the downloads');
  await page.setViewport({ width: 1000, height: 800 });
}

// A static server for the page folder, to load it over HTTP as well.
function serve() {
  const server = http.createServer((request, response) => {
    const file = path.join(pageDir, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    if (!file.startsWith(pageDir) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404);
      response.end();
      return;
    }
    const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css' };
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
    response.end(fs.readFileSync(file));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function loadPage(browser, url) {
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('requestfailed', (request) => errors.push(`request failed: ${request.url()}`));
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]', { timeout: 20000 });
  return { page, errors };
}

async function main() {
  freshFolder(work);
  const images = freshFolder(path.join(work, 'images'));
  const sample = path.join(images, 'sample.d88');
  const rescue = path.join(images, 'rescue.d88');
  spawnSync(makeSample, [sample]);
  spawnSync(makeSample, ['--rescue', rescue]);
  const browser = await puppeteer.launch({
    executablePath: process.env.D88UNPACK_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: chromiumFlags.concat([`--user-data-dir=${freshFolder(path.join(work, 'profile'))}`]),
  });
  const server = await serve();
  try {
    const served = await loadPage(browser, `http://127.0.0.1:${server.address().port}/index.html`);
    await checkListingAndMap(served.page, rescue);
    assert.deepStrictEqual(served.errors, [], 'the page served over HTTP');
    await served.page.close();

    const { page, errors } = await loadPage(browser, `file://${path.join(pageDir, 'index.html')}`);
    const downloads = new Downloads(browser);
    await checkListingAndMap(page, rescue);
    if (process.env.D88UNPACK_SCREENSHOT) {
      // README's picture of the page: the rescue sample, its map open.
      await page.setViewport({ width: 900, height: 800 });
      await page.screenshot({ path: process.env.D88UNPACK_SCREENSHOT, fullPage: true });
      await page.setViewport({ width: 1000, height: 800 });
    }
    await checkUnclaimedZip(page, downloads, rescue);
    await checkListingAndMap(page, sample);
    await checkDownloads(page, downloads, sample);
    await checkKeyboardAndWidth(page);
    await checkEdits(page, downloads, sample);
    assert.deepStrictEqual(errors, [], 'the page opened from the disk');
    console.log('browser test: all checks passed');
  } finally {
    server.close();
    await browser.close();
  }
}

main().catch((error) => {
  console.error(error.stack || String(error));
  process.exit(1);
});
