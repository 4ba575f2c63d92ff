#include "language/LangDialog.h"

#include "language/Language.h"

CLangDialog::CLangDialog(UINT templateId, CWnd* parent)
    : CDialog(parent), m_pTemplate(LoadLangDialog(templateId)) {
    if (m_pTemplate) InitModalIndirect(m_pTemplate, parent);
    m_nIDHelp = templateId;
}
