// Runs an iNES file in jsnes with no display and hands its picture to the
// ROM test.
//
//   node frame.mjs table
//     prints the emulator's 64 NES colours as 0xBBGGRR numbers, one a line
//   node frame.mjs ROM FRAMES OUT
//     runs FRAMES frames from power-on and writes OUT: the 64 colours, then
//     the last frame's 256x240 pixels in the same numbers, each number four
//     bytes little-endian. On stdout: how many frames and CPU cycles it took
//     until the picture stopped changing, and the cycles run in all.
//
// The CommonJS bundle that `require` gets exports nothing; the ES-module
// source that `import` gets is the emulator itself.
import { NES } from "jsnes";
import { readFileSync, writeFileSync } from "node:fs";

const WIDTH = 256;
const HEIGHT = 240;

function colours(nes) {
  // Read before the program runs: PPUMASK's emphasis bits rewrite the table
  // in place, and a damaged screen is tinted that way on purpose.
  return Uint32Array.from({ length: 64 }, (_, i) => nes.ppu.palTable.getEntry(i));
}

function run(romPath, frames, outPath) {
  const frameCopies = [];
  const nes = new NES({
    emulateSound: false,
    onFrame: (buffer) => frameCopies.push(Uint32Array.from(buffer)),
  });
  nes.loadROM(readFileSync(romPath));
  // loadROM builds a new PPU, whose default blanks 8 pixels on every edge as
  // a television would. The left column is still blanked while either of
  // PPUMASK's two left-column bits is clear, as on the console.
  nes.ppu.clipToTvSize = false;
  const table = colours(nes);

  const cycles = [];
  for (let i = 0; i < frames; ++i) {
    nes.frame();
    cycles.push(nes.cpu.cycles);
  }
  if (frameCopies.length !== frames) {
    throw new Error(`${frameCopies.length} frames drawn in ${frames} runs`);
  }
  const last = frameCopies[frames - 1];
  if (last.length !== WIDTH * HEIGHT) {
    throw new Error(`a frame of ${last.length} pixels`);
  }
  const same = (a) => a.every((v, k) => v === last[k]);
  let settled = frames;
  while (settled > 1 && same(frameCopies[settled - 2])) {
    --settled;
  }

  const out = new Uint32Array(64 + WIDTH * HEIGHT);
  out.set(table, 0);
  out.set(last, 64);
  // Uint32Array is little-endian on every machine node runs on here; say so
  // in bytes anyway.
  const bytes = Buffer.alloc(out.length * 4);
  out.forEach((v, k) => bytes.writeUInt32LE(v, k * 4));
  writeFileSync(outPath, bytes);
  console.log(
    `settled after frame ${settled} at cycle ${cycles[settled - 1]}; ` +
      `${frames} frames, ${cycles[frames - 1]} cycles`,
  );
}

const args = process.argv.slice(2);
if (args.length === 1 && args[0] === "table") {
  const nes = new NES({ emulateSound: false });
  for (const c of colours(nes)) {
    console.log(`0x${c.toString(16).padStart(6, "0")}`);
  }
} else if (args.length === 3 && Number(args[1]) >= 1) {
  run(args[0], Math.floor(Number(args[1])), args[2]);
} else {
  console.error("usage: node frame.mjs table | node frame.mjs ROM FRAMES OUT");
  process.exit(2);
}
