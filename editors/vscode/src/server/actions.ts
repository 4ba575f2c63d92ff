// Quick fixes for the checker's findings that have one obvious repair.
import { CodeAction, CodeActionKind, Diagnostic, TextEdit } from 'vscode-languageserver';
import { commands } from './catalog';
import { Model } from './model';

// Levenshtein distance without regard to case, given up beyond limit.
export function distance(a: string, b: string, limit: number): number {
    a = a.toUpperCase();
    b = b.toUpperCase();
    if (Math.abs(a.length - b.length) > limit) return limit + 1;
    let row = Array.from({ length: b.length + 1 }, (_, j) => j);
    for (let i = 1; i <= a.length; ++i) {
        const next = [i];
        for (let j = 1; j <= b.length; ++j) {
            next[j] = Math.min(row[j] + 1, next[j - 1] + 1, row[j - 1] + (a[i - 1] === b[j - 1] ? 0 : 1));
        }
        row = next;
    }
    return row[b.length];
}

// Commands and procedures within two edits of word, nearest first.
export function nearNames(model: Model, word: string): string[] {
    const limit = word.length <= 3 ? 1 : 2;
    const names = [...commands.map((c) => c.name), ...model.procs.map((p) => p.name).filter(Boolean)];
    return names
        .map((name) => ({ name, d: distance(word, name, limit) }))
        .filter((x) => x.d <= limit)
        .sort((x, y) => x.d - y.d || x.name.localeCompare(y.name))
        .slice(0, 3)
        .map((x) => x.name);
}

export function codeActions(model: Model, uri: string, diagnostics: Diagnostic[]): CodeAction[] {
    const actions: CodeAction[] = [];
    const fix = (title: string, d: Diagnostic, edits: TextEdit[], preferred = false): CodeAction => ({
        title, kind: CodeActionKind.QuickFix, diagnostics: [d], isPreferred: preferred,
        edit: { changes: { [uri]: edits } },
    });
    for (const d of diagnostics) {
        const line = d.range.start.line;
        const text = model.lines[line] ?? '';
        switch (d.code) {
            case 'PX0201': {
                const word = text.slice(d.range.start.character, d.range.end.character);
                nearNames(model, word).forEach((name, i) => {
                    actions.push(fix(`Change to ${name}`, d, [TextEdit.replace(d.range, name)], i === 0));
                });
                break;
            }
            case 'PX0210': {
                // Take out the blank lines after the if, so that it tests the statement below.
                let next = line + 1;
                while (next < model.lines.length && model.lines[next].trim() === '') ++next;
                if (next < model.lines.length) {
                    actions.push(fix('Remove the blank line after if', d, [
                        TextEdit.del({ start: { line: line + 1, character: 0 }, end: { line: next, character: 0 } }),
                    ], true));
                }
                break;
            }
            case 'PX0211': {
                const at = d.range.start.character + (text[d.range.start.character] === '"' ? 1 : 0);
                for (const [icon, name] of [['?', 'question'], ['!', 'warning'], ['-', 'error']]) {
                    actions.push(fix(`Add the ${name} icon ${icon}`, d,
                        [TextEdit.insert({ line, character: at }, icon)], icon === '?'));
                }
                break;
            }
            case 'PX0105': {
                const last = model.lines.length - 1;
                const eol = '\n';
                const end = { line: last, character: model.lines[last].length };
                actions.push(fix('Close the procedure with endp', d,
                    [TextEdit.insert(end, (model.lines[last] ? eol : '') + 'endp' + eol)], true));
                break;
            }
            case 'PX0002': {
                if (text.trim().toUpperCase() === ';OBRIX_INST_FILE') {
                    actions.push(fix('Write the header exactly', d,
                        [TextEdit.replace({ start: { line: 0, character: 0 }, end: { line: 0, character: text.length } }, ';OBRIX_INST_FILE')], true));
                }
                break;
            }
        }
    }
    return actions;
}
