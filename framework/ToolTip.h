// The tooltip control over a dialog's controls, and the width a text takes in a control:
// together they let a window show a text cut to its control in full when the mouse rests
// on it.
#pragma once

#include "framework/Framework.h"

#include <string>

class CToolTipCtrl : public CWnd {
public:
    CToolTipCtrl() = default;
    ~CToolTipCtrl() override { DestroyWindow(); }
    CToolTipCtrl(const CToolTipCtrl&) = delete;
    CToolTipCtrl& operator=(const CToolTipCtrl&) = delete;

    // Creates the tooltip window, owned by the dialog whose controls it serves.
    BOOL Create(HWND owner);
    // Shows text over control (a child of the owner); a second call replaces the text.
    BOOL AddTool(HWND control, const std::wstring& text);
    // The text shown over control; empty when it has none.
    std::wstring GetText(HWND control) const;
};

// The width in pixels that text takes in control, drawn with the control's own font.
int TextWidth(HWND control, const std::wstring& text);
// Whether text is wider than control's client area.
bool TextIsCut(HWND control, const std::wstring& text);
