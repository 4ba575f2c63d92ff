// The commands as the engine's catalogue describes them: generated/catalog.json, written
// from `pxfcheck /catalog` when the extension is built (scripts/generate.js).
import * as fs from 'fs';
import * as path from 'path';

export interface CommandInfo {
    name: string;
    form: 'args' | 'varAndStatement' | 'statement' | 'label' | 'textIgnored';
    signature: string;
    changesMachine: boolean;
    talksToUser: boolean;
    params: string[];
    does: string;
    result: string;
    undo: string;
    errors: string;
}

export const catalogPath = path.join(__dirname, '..', '..', 'generated', 'catalog.json');

export const commands: CommandInfo[] = JSON.parse(fs.readFileSync(catalogPath, 'utf8'));

const byName = new Map(commands.map((c) => [c.name.toUpperCase(), c]));

// The command of that name, in any letter case.
export function findCommand(name: string): CommandInfo | undefined {
    return byName.get(name.toUpperCase());
}

// Variables the engine and the installation read or set themselves.
export const builtinVariables: Record<string, string> = {
    INST_TYPE: 'set by Identify: the type tag OBX_PLIXA_DRIVER',
    DEVNAME: 'set by Identify: the name the Device library knows the device by',
    INST_NAME: 'set by Identify: shown when the user is asked to confirm',
    PARAMCNT: "the number of the running procedure's arguments ($1, $2, ...)",
    lastWinError: 'the Windows error code of the last failed file or program operation',
    onErrorProc: 'the procedure called when a Windows operation fails ($1 the code, $2 the command)',
    needReboot: '1 after an action left to the next restart',
    exeReturned: "the exit code of the program run last",
};

// The parameter list as help shows it: optional arguments in brackets.
export function parameterLabels(info: CommandInfo): string[] {
    return info.params.map((p, i) => {
        const letter = info.signature[i];
        return letter && letter === letter.toUpperCase() ? `[${p}]` : p;
    });
}

export function signatureLabel(info: CommandInfo): string {
    const params = parameterLabels(info);
    return params.length ? `${info.name} ${params.join(', ')}` : info.name;
}

// Hover text of a command, in Markdown.
export function commandHelp(info: CommandInfo): string {
    const lines = ['```pxf', signatureLabel(info), '```'];
    if (info.signature) lines.push(`Signature \`${info.signature}\` (s text, d integer, v a $variable; upper case: optional)`);
    lines.push('', info.does.charAt(0).toUpperCase() + info.does.slice(1) + '.', '');
    if (info.result) lines.push(`**Result:** ${info.result}  `);
    lines.push(`**Undo line:** ${info.undo ? '`' + info.undo + '`' : 'none'}  `);
    if (info.errors) lines.push(`**Errors:** ${info.errors}  `);
    const traits = [];
    if (info.changesMachine) traits.push('changes the machine');
    if (info.talksToUser) traits.push('talks to the user');
    if (traits.length) lines.push(`*${traits.join(', ')}*`);
    return lines.join('\n');
}
