// Base of every modal dialog of the program: its template comes from the language module.
#pragma once

#include "framework/Dialog.h"

class CLangDialog : public CDialog {
public:
    // Loads template id + language offset; without it the dialog cannot be shown.
    CLangDialog(UINT templateId, CWnd* parent);

    const DLGTEMPLATE* m_pTemplate;
};
