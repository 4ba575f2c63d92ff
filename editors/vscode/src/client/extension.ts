// Starts the language server for installation files and hands it the checker's path.
import * as path from 'path';
import { ExtensionContext, workspace } from 'vscode';
import { LanguageClient, LanguageClientOptions, ServerOptions, TransportKind } from 'vscode-languageclient/node';

let client: LanguageClient | undefined;

export function activate(context: ExtensionContext) {
    const module = context.asAbsolutePath(path.join('out', 'server', 'server.js'));
    const serverOptions: ServerOptions = {
        run: { module, transport: TransportKind.ipc },
        debug: { module, transport: TransportKind.ipc },
    };
    const clientOptions: LanguageClientOptions = {
        documentSelector: [{ language: 'pxf' }],
        initializationOptions: {
            pxfcheckPath: workspace.getConfiguration('tolvarin').get<string>('pxfcheckPath', ''),
        },
    };
    client = new LanguageClient('tolvarin-pxf', 'Tolvarin installation files', serverOptions, clientOptions);
    void client.start();
}

export function deactivate(): Thenable<void> | undefined {
    return client?.stop();
}
