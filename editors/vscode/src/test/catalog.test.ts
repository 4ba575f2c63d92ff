// The help the extension ships is the catalogue of the checker it was built from, and names
// every command the engine registers.
import * as assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import * as fs from 'node:fs';
import * as path from 'node:path';
import { it } from 'node:test';
import { commands } from '../server/catalog';
import { nativeChecker, repoRoot } from './client';

// The names in the engine's command tables: each a static array of {"name", Handler} rows.
function registeredCommands(): string[] {
    const names: string[] = [];
    for (const dir of ['engine', 'commands']) {
        for (const file of fs.readdirSync(path.join(repoRoot, dir)).filter((f) => f.endsWith('.cpp'))) {
            const source = fs.readFileSync(path.join(repoRoot, dir, file), 'utf8');
            for (const table of source.matchAll(/const ScriptCommand k\w+\[\] = \{([\s\S]*?)\};/g)) {
                for (const row of table[1].matchAll(/\{"([^"]+)",\s*\w+\}/g)) names.push(row[1]);
            }
        }
    }
    return names.sort();
}

it('the hover data covers exactly the registered commands', () => {
    const registered = registeredCommands();
    assert.ok(registered.length >= 50, `only ${registered.length} registered commands found`);
    assert.deepEqual(commands.map((c) => c.name).sort(), registered);
});

it('the hover data is the catalogue of the checker as it is built now', () => {
    const fresh = JSON.parse(execFileSync(nativeChecker, ['/catalog'], { encoding: 'utf8' }));
    assert.deepEqual(commands, fresh);
});

it('every command says what it does and names each argument of its signature', () => {
    for (const c of commands) {
        assert.ok(c.does, `${c.name} says nothing of what it does`);
        if (c.form === 'args') assert.equal(c.params.length, c.signature.length, c.name);
    }
});
