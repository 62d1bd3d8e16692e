'use strict';
// The WebAssembly build against the native one: both run over the same
// images with the same options, each in a fresh folder, and must give the
// same standard output, standard error, exit status and files (the image
// included, which a repack rewrites).
//
// The images: every image the end-to-end tests run the native tool on (they
// keep them when D88UNPACK_KEEP_IMAGES names a folder), the fuzzer's seed
// corpus and the three samples. The Node program d88unpack.js runs over the
// samples as a process; over all the images the same code runs as a module
// whose main one Node process calls again and again, as the page calls it,
// so the comparison also shows that a run leaves nothing behind for the next.
//
//   node differential.js --native-build DIR --wasm-build DIR --work DIR

const fs = require('fs');
const path = require('path');
const { spawnSync } = require('child_process');

function options() {
  const given = {};
  const args = process.argv.slice(2);
  for (let i = 0; i + 1 < args.length; i += 2) {
    given[args[i].replace(/^--/, '')] = path.resolve(args[i + 1]);
  }
  for (const name of ['native-build', 'wasm-build', 'work']) {
    if (!given[name]) throw new Error(`missing --${name}`);
  }
  return given;
}

const given = options();
const nativeTool = path.join(given['native-build'], 'd88unpack');
const nativeEndToEnd = path.join(given['native-build'], 'tests', 'end_to_end_tests');
const nodeTool = path.join(given['wasm-build'], 'd88unpack.js');
const wasmTests = path.join(given['wasm-build'], 'tests');
const work = given.work;

// What each run is given, before and after the image's name. Names beyond
// ASCII are UTF-8 host names under WebAssembly (as with --unicode-names), so
// runs that write host files, or name them in notes, decode the names; the
// runs with raw names write nothing.
const modes = [
  { name: 'extract', before: ['--unicode-names'] },
  { name: 'extract -d', before: ['--unicode-names'], after: ['-d'] },
  { name: 'unclaimed', before: ['--unicode-names', '--unclaimed'] },
  { name: 'map picture', before: ['--unicode-names', '--map', '--map-svg=map.svg'] },
  { name: 'to stdout', before: ['--unicode-names', '--to-stdout'] },
  { name: 'json test', before: ['--unicode-names', '--json', '--test'] },
  { name: 'list', before: ['--list'], raw: true },
  { name: 'test', before: ['--test'], raw: true },
  { name: 'info', before: ['--info'], raw: true },
  { name: 'map', before: ['--map'], raw: true },
  { name: 'json map', before: ['--json', '--map'], raw: true },
  { name: 'repack', before: ['--unicode-names'], repack: true },
];

// The edits of the repack mode: the first file of the first disk grows,
// a new file is added, the disks are renamed.
const repackArgs = ['--repack', '--relocate', '--add', '--unicode-names', '--set-disk-name=WEB'];
const addedName = 'NEWF';

function fail(message) {
  console.error(`differential: ${message}`);
  process.exit(1);
}

function freshFolder(folder) {
  fs.rmSync(folder, { recursive: true, force: true });
  fs.mkdirSync(folder, { recursive: true });
}

function mustRun(program, args, options) {
  const result = spawnSync(program, args, { stdio: ['ignore', 'ignore', 'pipe'], ...options });
  if (result.status !== 0) {
    fail(`${program} ${args.join(' ')} failed (${result.status}): ${result.stderr}`);
  }
}

function prepareImages() {
  for (const program of [nativeTool, nativeEndToEnd]) {
    if (!fs.existsSync(program)) {
      fail(`${program} is missing: build the default preset first (cmake --workflow --preset default)`);
    }
  }
  const images = path.join(work, 'images');
  freshFolder(images);
  fs.mkdirSync(path.join(images, 'tests'));
  mustRun(nativeEndToEnd, ['--gtest_brief=1'], {
    env: { ...process.env, D88UNPACK_KEEP_IMAGES: path.join(images, 'tests') } });
  mustRun(process.execPath, [path.join(wasmTests, 'write_seed_corpus.js'), path.join(images, 'seeds')]);
  fs.mkdirSync(path.join(images, 'samples'));
  const sampler = path.join(wasmTests, 'make_sample.js');
  for (const [flag, name] of [[null, 'sample.d88'], ['--damaged', 'damaged.d88'], ['--rescue', 'rescue.d88']]) {
    mustRun(process.execPath, [sampler].concat(flag ? [flag] : [], [path.join(images, 'samples', name)]));
  }
  // The seed corpus holds each shape five times, padded for the fuzzer's
  // five runs; the padding changes nothing here, so each shape is run once.
  const padded = /-(d|test|info|map)\.d88$/;
  const all = [];
  for (const group of ['samples', 'tests', 'seeds']) {
    for (const name of fs.readdirSync(path.join(images, group)).sort()) {
      if (group !== 'seeds' || !padded.test(name)) all.push(path.join(images, group, name));
    }
  }
  return all;
}

// Every file under folder, by its path from there, with its bytes.
function readTree(folder, prefix = '', tree = new Map()) {
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    const full = path.join(folder, entry.name);
    const name = prefix + entry.name;
    if (entry.isDirectory()) {
      tree.set(`${name}/`, null);
      readTree(full, `${name}/`, tree);
    } else {
      tree.set(name, fs.readFileSync(full));
    }
  }
  return tree;
}

function runNative(folder, args) {
  const result = spawnSync(nativeTool, args, { cwd: folder, argv0: 'd88unpack', maxBuffer: 1 << 30 });
  return { status: result.status, out: result.stdout, err: result.stderr };
}

// The module's standard output and error go to files of their own for the
// run: NODERAWFS writes them to the descriptors its streams hold.
function moduleRunner(tool, scratch) {
  return (folder, args) => {
    const outPath = path.join(scratch, 'module.out');
    const errPath = path.join(scratch, 'module.err');
    const out = fs.openSync(outPath, 'w');
    const err = fs.openSync(errPath, 'w');
    tool.FS.streams[1].nfd = out;
    tool.FS.streams[2].nfd = err;
    const before = process.cwd();
    process.chdir(folder);
    let status;
    try {
      status = tool.callMain(args);
    } finally {
      process.chdir(before);
      tool.FS.streams[1].nfd = 1;
      tool.FS.streams[2].nfd = 2;
      fs.closeSync(out);
      fs.closeSync(err);
    }
    return { status, out: fs.readFileSync(outPath), err: fs.readFileSync(errPath) };
  };
}

function runProcess(folder, args) {
  const result = spawnSync(process.execPath, [nodeTool].concat(args),
                           { cwd: folder, maxBuffer: 1 << 30 });
  return { status: result.status, out: result.stdout, err: result.stderr };
}

function isAscii(bytes) { return bytes.every((byte) => byte < 0x80); }

// Without --unicode-names a note names a file by its host name, which is
// UTF-8 under WebAssembly and the raw bytes natively; such lines can only
// differ in that name, so only the other lines and the count are compared.
function sameErrors(native, wasm, raw) {
  if (native.equals(wasm)) return true;
  if (!raw || isAscii(native)) return false;
  const nativeLines = native.toString('latin1').split('\n');
  const wasmLines = wasm.toString('latin1').split('\n');
  if (nativeLines.length !== wasmLines.length) return false;
  return nativeLines.every((line, i) => !isAscii(Buffer.from(line, 'latin1')) || line === wasmLines[i]);
}

function treeDifference(a, b) {
  for (const [name, bytes] of a) {
    if (!b.has(name)) return `${name} only natively`;
    const other = b.get(name);
    if ((bytes === null) !== (other === null) || (bytes !== null && !bytes.equals(other))) {
      return `${name} differs`;
    }
  }
  for (const name of b.keys()) if (!a.has(name)) return `${name} only under WebAssembly`;
  return null;
}

function compare(native, wasm, mode) {
  if (native.status !== wasm.status) return `exit status ${native.status} natively, ${wasm.status} under WebAssembly`;
  if (!native.out.equals(wasm.out)) return `standard output differs:\n--- native\n${native.out}\n--- wasm\n${wasm.out}`;
  if (!sameErrors(native.err, wasm.err, mode.raw)) return `standard error differs:\n--- native\n${native.err}\n--- wasm\n${wasm.err}`;
  return treeDifference(native.tree, wasm.tree);
}

// Makes the repack's edits in an extracted folder, the same in both.
function editExtraction(folder) {
  const disks = fs.readdirSync(folder).filter((name) => /^\d{3}$/.test(name)).sort();
  if (disks.length === 0) return;
  const first = path.join(folder, disks[0]);
  const files = fs.readdirSync(first, { withFileTypes: true })
    .filter((entry) => entry.isFile()).map((entry) => entry.name).sort();
  if (files.length > 0) fs.appendFileSync(path.join(first, files[0]), 'grown by the test\n');
  fs.writeFileSync(path.join(first, addedName), 'added by the test\n');
}

function runMode(run, folder, image, mode) {
  freshFolder(folder);
  fs.copyFileSync(image, path.join(folder, 'image.d88'));
  const args = mode.before.concat(['image.d88'], mode.after || []);
  let result = run(folder, args);
  if (mode.repack) {
    editExtraction(folder);
    result = run(folder, repackArgs.concat(['image.d88']));
  }
  result.tree = readTree(folder);
  return result;
}

async function main() {
  const started = Date.now();
  const images = prepareImages();
  const prepared = Date.now();
  const scratch = path.join(work, 'runs');
  freshFolder(scratch);
  const factory = require(path.join(wasmTests, 'd88unpack_batch.js'));
  const tool = await factory({ thisProgram: 'd88unpack' });
  const runModule = moduleRunner(tool, scratch);
  const problems = [];
  let runs = 0;
  const check = (image, mode, wasmRun, how) => {
    const native = runMode(runNative, path.join(scratch, 'native'), image, mode);
    const wasm = runMode(wasmRun, path.join(scratch, 'wasm'), image, mode);
    runs += 1;
    const difference = compare(native, wasm, mode);
    if (difference) problems.push(`${path.relative(work, image)}, ${mode.name} (${how}): ${difference}`);
  };
  for (const image of images) {
    for (const mode of modes) check(image, mode, runModule, 'module');
  }
  for (const image of images.filter((name) => name.includes(`${path.sep}samples${path.sep}`))) {
    for (const mode of modes) check(image, mode, runProcess, 'd88unpack.js');
  }
  console.log(`differential: ${images.length} images, ${runs} runs compared, ${problems.length} differ ` +
              `(${(prepared - started) / 1000} s making the images, ${(Date.now() - prepared) / 1000} s comparing)`);
  for (const problem of problems.slice(0, 10)) console.error(`differential: ${problem}`);
  process.exit(problems.length === 0 ? 0 : 1);
}

main().catch((error) => fail(error.stack || String(error)));
