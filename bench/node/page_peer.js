// The peer of the page benchmark: opencc-js's HTMLConverter over jsdom,
// converting the same page from Simplified to Traditional (s2t). Prints one
// JSON line of median milliseconds: parse, convert, serialize.
//
//   node page_peer.js PAGE.html [RUNS]
'use strict';
const fs = require('fs');
const { JSDOM } = require('jsdom');
const OpenCC = require('opencc-js');

const [page, runsArg] = process.argv.slice(2);
const runs = Number(runsArg || 5);
const bytes = fs.readFileSync(page);
// The dictionaries load once, outside the timing, as Quillmer's tables do.
const converter = OpenCC.Converter({ from: 'cn', to: 't' });

const median = (xs) => xs.slice().sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const parse = [], convert = [], serialize = [];
let han = 0;
for (let i = 0; i < runs; ++i) {
  let t = process.hrtime.bigint();
  const ms = () => {
    const now = process.hrtime.bigint();
    const d = Number(now - t) / 1e6;
    t = now;
    return d;
  };
  const dom = new JSDOM(bytes, { contentType: 'text/html' });
  parse.push(ms());
  // HTMLConverter looks for the browser's Node global.
  global.Node = dom.window.Node;
  const root = dom.window.document.documentElement;
  root.lang = 'zh-CN';
  OpenCC.HTMLConverter(converter, root, 'zh-CN', 'zh-TW').convert();
  convert.push(ms());
  const out = dom.serialize();
  serialize.push(ms());
  han = (out.match(/[\u4e00-\u9fff]/g) || []).length;
  dom.window.close();
}
console.log(JSON.stringify({
  parse_ms: median(parse), convert_ms: median(convert), serialize_ms: median(serialize),
  runs, han_characters: han,
}));
