// Command and string ids that belong to the framework rather than to the program. Plain
// #defines, so that resource scripts can include this file too.
#pragma once

// The "&Help" buttons' command; the application routes it to CWinApp::OnHelp.
#define ID_HELP 0xE146

// Help contexts of dialogs are their help ids (template ids) plus this base.
#define HID_BASE_RESOURCE 0x20000

// "Enter no more than %d characters.": shown when DDV_MaxChars refuses a text.
#define AFX_IDP_PARSE_STRING_SIZE 0xF110
