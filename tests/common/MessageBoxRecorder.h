// Answers the program's message boxes in tests and records what they showed.
#pragma once

#include "framework/Framework.h"

#include <deque>
#include <string>
#include <vector>

struct ShownBox {
    std::wstring text;
    UINT flags;
};

class MessageBoxRecorder {
public:
    MessageBoxRecorder() {
        m_previous = SetMessageBoxHook(&Hook);
        instance = this;
    }
    ~MessageBoxRecorder() {
        SetMessageBoxHook(m_previous);
        instance = nullptr;
    }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    // Queues the button ids of the next boxes; with the queue empty a box answers IDOK.
    void Answer(int buttonId) { m_answers.push_back(buttonId); }

    std::vector<ShownBox> boxes;

private:
    static inline MessageBoxRecorder* instance = nullptr;
    static int Hook(const std::wstring& text, UINT flags) {
        MessageBoxRecorder* self = instance;
        self->boxes.push_back({text, flags});
        if (self->m_answers.empty()) return IDOK;
        int answer = self->m_answers.front();
        self->m_answers.pop_front();
        return answer;
    }

    MessageBoxHook m_previous = nullptr;
    std::deque<int> m_answers;
};
