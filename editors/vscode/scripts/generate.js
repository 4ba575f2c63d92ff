// Generates what the extension knows of the commands from the checker's own catalogue
// (pxfcheck /catalog), so that completion, signature help, hover and the grammar's command
// names are those of the engine that runs the files:
//   generated/catalog.json        the catalogue, as the language server reads it
//   syntaxes/pxf.tmLanguage.json  the grammar, its command pattern filled in
// The checker is $PXFCHECK, else the repository's native build (build-native/bin/pxfcheck).
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const root = path.join(__dirname, '..');
const checker = process.env.PXFCHECK || path.join(root, '..', '..', 'build-native', 'bin', 'pxfcheck');
if (!fs.existsSync(checker)) {
    console.error(`generate: no checker at ${checker}: build it with scripts/native-build ` +
                  '(or name one in PXFCHECK)');
    process.exit(1);
}
const catalog = JSON.parse(execFileSync(checker, ['/catalog'], { encoding: 'utf8' }));
if (!Array.isArray(catalog) || catalog.length === 0) {
    console.error('generate: the checker printed no catalogue');
    process.exit(1);
}

fs.mkdirSync(path.join(root, 'generated'), { recursive: true });
fs.writeFileSync(path.join(root, 'generated', 'catalog.json'), JSON.stringify(catalog, null, 1) + '\n');

// Longest names first, so that "regDel" is not cut short by a shorter name it begins with.
const escape = (name) => name.replace(/[.*+?^${}()|[\]\\@]/g, '\\$&');
const names = catalog.map((c) => c.name).sort((a, b) => b.length - a.length).map(escape);
const template = fs.readFileSync(path.join(root, 'syntaxes', 'pxf.tmLanguage.template.json'), 'utf8');
if (!template.includes('@COMMANDS@')) {
    console.error('generate: the grammar template has no @COMMANDS@');
    process.exit(1);
}
const grammar = template.split('@COMMANDS@').join(JSON.stringify(names.join('|')).slice(1, -1));
JSON.parse(grammar);  // fails loudly on a broken template
fs.writeFileSync(path.join(root, 'syntaxes', 'pxf.tmLanguage.json'), grammar);
console.log(`generate: ${catalog.length} commands from ${path.relative(process.cwd(), checker)}`);
