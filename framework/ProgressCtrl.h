// A thin wrapper of the common progress bar: one window message per operation.
#pragma once

#include "framework/Framework.h"

#include <commctrl.h>

class CProgressCtrl : public CWnd {
public:
    // Both ends are sent as 16-bit halves of one message, so each is taken modulo 65536.
    void SetRange(int lower, int upper) {
        SendMessageW(m_hWnd, PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
    }
    // The previous position.
    int SetPos(int position) {
        return LOWORD(SendMessageW(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(position), 0));
    }
    int GetPos() const { return static_cast<int>(SendMessageW(m_hWnd, PBM_GETPOS, 0, 0)); }
    int SetStep(int step) {
        return static_cast<int>(SendMessageW(m_hWnd, PBM_SETSTEP, static_cast<WPARAM>(step), 0));
    }
    // Advances by the step size, wrapping to the start past the end; the previous position.
    int StepIt() { return LOWORD(SendMessageW(m_hWnd, PBM_STEPIT, 0, 0)); }
};
