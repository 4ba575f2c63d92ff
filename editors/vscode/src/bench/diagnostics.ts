// How long after a change the diagnostics of a 5,000-line installation file arrive: the
// server is driven over its protocol as an editor drives it, the change is one edited
// line, and the time runs until the diagnostics of that version are published.
import { TestClient } from '../test/client';

const lines = 5000;

function bigFile(): string {
    const out = [
        ';OBRIX_INST_FILE',
        'proc Identify',
        '    set $INST_TYPE, "OBX_PLIXA_DRIVER"',
        '    set $DEVNAME, "BigReader"',
        '    set $INST_NAME, "Big reader"',
        'endp',
        '',
        'proc Install',
        '    set $dir, "C:\\Program Files\\Big"',
        '    progress_show 10, "Installing"',
        'endp',
    ];
    for (let p = 0; out.length + 13 <= lines; ++p) {
        out.push('', `proc Step${p}`, '    lset $n, 0', `again${p}:`);
        out.push(`    copy "file${p}.dll", "#$dir#\\", sb   ; shared`);
        out.push(`    regSZ HKLM, "Software\\Obrix\\Big\\${p}", "Name", "Value #$n#"`);
        out.push(`    regDW HKLM, "Software\\Obrix\\Big\\${p}", "Count", 0x${p.toString(16)}`);
        out.push('    intadd $n', '    if intcmp $n, "<", 3', `        goto again${p}`);
        out.push('    eval $len, strlen "some text"', '    progress_step -1', 'endp');
    }
    while (out.length < lines) out.push('; padding to the size measured');
    return out.join('\n') + '\n';
}

async function main() {
    const client = new TestClient();
    await client.start();
    const uri = 'file:///bench/big.pxf';
    let text = bigFile();
    const first = await client.open(uri, text);
    const times: number[] = [];
    for (let i = 0; i < 15; ++i) {
        text = text.replace(/progress_show \d+/, `progress_show ${i + 11}`);
        const start = process.hrtime.bigint();
        const diagnostics = await client.open(uri, text);
        times.push(Number(process.hrtime.bigint() - start) / 1e6);
        if (diagnostics.length !== first.length) throw new Error('the diagnostics changed');
    }
    await client.stop();
    times.sort((a, b) => a - b);
    const median = times[Math.floor(times.length / 2)];
    console.log(`diagnostics of a ${lines}-line file after a change: median ${median.toFixed(1)} ms, ` +
                `slowest ${times[times.length - 1].toFixed(1)} ms over ${times.length} changes ` +
                `(findings: ${first.map((d) => `${d.range.start.line + 1}:${d.code}`).join(" ") || "none"}; target below 200 ms)`);
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
