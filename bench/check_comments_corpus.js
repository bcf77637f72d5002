// Helper of check_comments_corpus.sh: compares files before and after compression.
//
//   node check_comments_corpus.js compile LIST          scripts: compiles before -> compiles after
//   node check_comments_corpus.js inline LIST           pages: the same for every inline script
//   node check_comments_corpus.js same ESBUILD_DIR LIST scripts: esbuild --minify-whitespace output
//                                                       before equals the output after
// LIST holds one "BEFORE<TAB>AFTER" pair of paths a line. Prints the figures, one "name: n" a
// line, and the first failures; exits 1 when a check fails.
'use strict';
const fs = require('fs');
const vm = require('vm');

const [mode, ...rest] = process.argv.slice(2);
const listFile = rest[rest.length - 1];
const pairs = fs.readFileSync(listFile, 'utf8').split('\n').filter(Boolean).map((l) => l.split('\t'));

function compiles(src) {
  try {
    new vm.Script(src);
    return true;
  } catch (e) {
    return false;
  }
}

function firstDiff(a, b) {
  let i = 0;
  while (i < a.length && i < b.length && a[i] === b[i]) i++;
  return i;
}

const failures = [];
function fail(msg) {
  failures.push(msg);
}

function report(figures) {
  for (const [k, v] of Object.entries(figures)) console.log(`${k}: ${v}`);
  for (const f of failures.slice(0, 20)) console.log(`FAIL ${f}`);
  if (failures.length > 20) console.log(`... ${failures.length - 20} more`);
  process.exit(failures.length ? 1 : 0);
}

// Inline script bodies of a page: every <script> without a src attribute, in order.
function inlineScripts(page) {
  const out = [];
  const re = /<script\b([^>]*)>([\s\S]*?)<\/script/gi;
  let m;
  while ((m = re.exec(page))) {
    if (/\bsrc\s*=/i.test(m[1])) continue;
    out.push(m[2]);
  }
  return out;
}

if (mode === 'compile') {
  let before = 0, after = 0, both = 0;
  for (const [a, b] of pairs) {
    if (!compiles(fs.readFileSync(a, 'utf8'))) continue;
    before++;
    if (compiles(fs.readFileSync(b, 'utf8'))) {
      after++;
    } else {
      fail(`no longer compiles: ${a}`);
    }
  }
  report({ 'script files': pairs.length, 'compiled before': before, 'still compile after': after,
           'broken': before - after });
} else if (mode === 'inline') {
  let scripts = 0, before = 0, after = 0, mismatched = 0;
  for (const [a, b] of pairs) {
    const sa = inlineScripts(fs.readFileSync(a, 'utf8'));
    const sb = inlineScripts(fs.readFileSync(b, 'utf8'));
    if (sa.length !== sb.length) {
      mismatched++;
      fail(`inline script count ${sa.length} -> ${sb.length}: ${a}`);
      continue;
    }
    for (let i = 0; i < sa.length; i++) {
      scripts++;
      if (!compiles(sa[i])) continue;
      before++;
      if (compiles(sb[i])) {
        after++;
      } else {
        fail(`inline script ${i + 1} no longer compiles: ${a}`);
      }
    }
  }
  report({ 'pages': pairs.length, 'inline scripts': scripts, 'compiled before': before,
           'still compile after': after, 'broken': before - after, 'pages with other script count': mismatched });
} else if (mode === 'same') {
  const esbuild = require(rest[0]);
  const opts = { loader: 'js', minifyWhitespace: true, legalComments: 'none', charset: 'utf8', logLevel: 'silent' };
  const min = (src) => {
    try {
      return esbuild.transformSync(src, opts).code;
    } catch (e) {
      return null;
    }
  };
  let parsed = 0, same = 0, exempt = 0, unparsable = 0;
  for (const [a, b] of pairs) {
    const src = fs.readFileSync(a, 'utf8');
    const ma = min(src);
    if (ma === null) {
      unparsable++;
      continue;
    }
    // Include markers of the site editor are removed wherever they stand, strings included.
    if (/<!-- (end|bxinclude)/i.test(src)) {
      exempt++;
      continue;
    }
    parsed++;
    const mb = min(fs.readFileSync(b, 'utf8'));
    if (mb === ma) {
      same++;
    } else if (mb === null) {
      fail(`no longer parses: ${a}`);
    } else {
      const at = firstDiff(ma, mb);
      fail(`differs at ${at}: ${a}\n  before: ${JSON.stringify(ma.slice(Math.max(0, at - 40), at + 60))}\n  after:  ${JSON.stringify(mb.slice(Math.max(0, at - 40), at + 60))}`);
    }
  }
  report({ 'script files': pairs.length, 'esbuild rejects before': unparsable, 'exempt (include markers)': exempt,
           'compared': parsed, 'same output': same, 'different': parsed - same });
} else {
  console.error('usage: check_comments_corpus.js compile|inline|same [ESBUILD_DIR] LIST');
  process.exit(2);
}
