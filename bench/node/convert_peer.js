// The accuracy reference of bench/accuracy.sh: converts a UTF-8 file with
// opencc-js (from the lock file beside this script) and writes the result.
//
//   node convert_peer.js FROM TO INPUT OUTPUT     (FROM/TO: cn, tw, ...)
'use strict';
const fs = require('fs');
const OpenCC = require('opencc-js');

const [from, to, input, output] = process.argv.slice(2);
if (!output) {
  console.error('usage: node convert_peer.js FROM TO INPUT OUTPUT');
  process.exit(2);
}
const convert = OpenCC.Converter({ from, to });
// Line by line: no dictionary key holds a line break, so this is the whole
// text's conversion, and a word list converts one word at a time.
const lines = fs.readFileSync(input, 'utf8').split('\n');
fs.writeFileSync(output, lines.map(convert).join('\n'));
