// Acts on a modal window from inside its own message loop: a thread timer, dispatched by
// that loop, finds the topmost visible dialog of this thread and hands it to the action,
// which ends it.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

class WhileModal {
public:
    explicit WhileModal(std::function<void(HWND)> action) {
        state() = {std::move(action), false};
        timer_ = SetTimer(nullptr, 0, 50, &Tick);
    }
    ~WhileModal() { KillTimer(nullptr, timer_); }
    WhileModal(const WhileModal&) = delete;
    WhileModal& operator=(const WhileModal&) = delete;

    // Whether the action ran.
    bool Ran() const { return state().ran; }

private:
    struct State {
        std::function<void(HWND)> action;
        bool ran;
    };
    static State& state() {
        static State s;
        return s;
    }
    static BOOL CALLBACK Find(HWND window, LPARAM found) {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;  // the first found is the topmost
        }
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
        HWND dialog = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), &Find, reinterpret_cast<LPARAM>(&dialog));
        if (!dialog || state().ran) return;
        KillTimer(nullptr, timer);
        state().ran = true;
        state().action(dialog);
    }

    UINT_PTR timer_;
};

// A click on a dialog's button, as the button reports it.
inline void Click(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)));
}
