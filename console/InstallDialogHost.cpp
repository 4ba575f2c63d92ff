#include "console/InstallDialogHost.h"

#include <cstring>
#include <string>

#include "language/Language.h"
#include "engine/RunObserver.h"
#include "engine/ScriptError.h"
#include "engine/TextCase.h"
#include "resources/resource.h"

namespace {

bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

UINT IconFlag(char c) {
    switch (c) {
        case '!':
            return MB_ICONEXCLAMATION;
        case '-':
            return MB_ICONHAND;
        case '?':
            return MB_ICONQUESTION;
        default:
            return MB_ICONASTERISK;
    }
}

UINT ButtonFlags(const char* letters) {
    static const struct {
        const char* letters;
        UINT flags;
    } kButtons[] = {
        // clang-format off
        {"ync", MB_YESNOCANCEL},
        {"yn",  MB_YESNO},
        {"rc",  MB_RETRYCANCEL},
        {"oc",  MB_OKCANCEL},
        {"ari", MB_ABORTRETRYIGNORE},
        // clang-format on
    };
    for (const auto& row : kButtons) {
        if (EqualsNoCase(letters, row.letters)) return row.flags;
    }
    return MB_OK;
}

UINT DefaultButtonFlag(const char* type) {
    const std::size_t length = std::strlen(type);
    if (length > 4 && IsUpper(type[4])) return MB_DEFBUTTON4;
    if (length > 3 && IsUpper(type[3])) return MB_DEFBUTTON3;
    if (length > 2 && IsUpper(type[2])) return MB_DEFBUTTON2;
    return MB_DEFBUTTON1;
}

// The string's first "%s" replaced by argument. Replaced rather than formatted: what "%s"
// means to the wide printf family differs between runtime libraries, and a path holding
// "%" must come out as written.
std::wstring FormatWithText(std::wstring format, const std::wstring& argument) {
    const std::size_t at = format.find(L"%s");
    if (at != std::wstring::npos) format.replace(at, 2, argument);
    return format;
}

// The message box flags of a type string: icon | buttons | default button.
UINT PromptFlags(const char* type) {
    if (!type) type = "";
    const char* letters = type[0] ? type + 1 : type;
    return IconFlag(type[0]) | ButtonFlags(letters) | DefaultButtonFlag(type);
}

// The button a box of these flags starts on: the one its default-button flag names, or the
// first when the box has fewer buttons, as Windows does.
int DefaultButton(UINT flags) {
    static const struct {
        UINT buttons;
        int ids[3];
    } kBoxes[] = {
        // clang-format off
        {MB_OKCANCEL,         {IDOK, IDCANCEL, 0}},
        {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
        {MB_YESNOCANCEL,      {IDYES, IDNO, IDCANCEL}},
        {MB_YESNO,            {IDYES, IDNO, 0}},
        {MB_RETRYCANCEL,      {IDRETRY, IDCANCEL, 0}},
        // clang-format on
    };
    const UINT index = (flags & MB_DEFMASK) >> 8;
    for (const auto& box : kBoxes) {
        if ((flags & MB_TYPEMASK) != box.buttons) continue;
        return index < 3 && box.ids[index] != 0 ? box.ids[index] : box.ids[0];
    }
    return IDOK;
}

int PromptResult(int buttonId) {
    switch (buttonId) {
        case IDOK:
        case IDRETRY:
        case IDYES:
            return 1;
        case IDCANCEL:
        case IDABORT:
            return 0;
        default:
            return 2;
    }
}

}  // namespace

CInstallDialogHost::~CInstallDialogHost() {
    m_progress.DestroyWindow();
}

void CInstallDialogHost::EndRun() {
    m_progress.DestroyWindow();
}

void CInstallDialogHost::ResetProgressSteps() {
    m_steps = 0;
}

int CInstallDialogHost::AddProgressSteps(int steps) {
    m_steps += steps;
    return steps;
}

void CInstallDialogHost::ShowProgress() {
    // A second progress_show without progress_hide keeps the window (and the owner it
    // disabled) and only takes the new total.
    if (m_progress.GetSafeHwnd()) {
        m_progress.SetRange(0, m_steps);
        return;
    }
    m_progress.Show(nullptr, m_steps);
}

void CInstallDialogHost::HideProgress() {
    m_progress.DestroyWindow();
}

void CInstallDialogHost::ProgressStep(int pos) {
    UpdateProgress(nullptr, pos);
}

// A title names the next stage; the bar stays where the last step put it, so that it moves
// over the whole run rather than starting again at every stage.
void CInstallDialogHost::SetProgressText(const char* text) {
    m_progress.SetText(WideFromAnsi(text ? text : ""));
    CheckCancel();
}

void CInstallDialogHost::CheckCancel() {
    if (m_progress.TakeCancel()) ThrowScriptError(ScriptError::kCancelled);
}

void CInstallDialogHost::UpdateProgress(const wchar_t* text, int position) {
    if (m_progress.Update(text, position)) ThrowScriptError(ScriptError::kCancelled);
}

int CInstallDialogHost::Prompt(const char* text, const char* type) {
    const UINT flags = PromptFlags(type);
    int button = AfxMessageBox(WideFromAnsi(text ? text : ""), flags);
    // No box could be shown (no desktop to show it on): nobody chose, so the run goes on as
    // if the box had been confirmed as it opened, on its default button.
    if (button <= 0) button = DefaultButton(flags);
    const int answer = PromptResult(button);
    RunNote("message \"%s\" type \"%s\": answer %d", text ? text : "", type ? type : "", answer);
    return answer;
}

bool CInstallDialogHost::CanAnswer() const {
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    if (!GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                   &needed))
        return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

int CInstallDialogHost::AskReplaceNewer(const char* path, const _WIN32_FIND_DATAA*,
                                        const _WIN32_FIND_DATAA*) {
    const std::wstring text =
        FormatWithText(LangString(IDS_REPLACE_NEWER), WideFromAnsi(path ? path : ""));
    const int button = AfxMessageBox(text, MB_YESNOCANCEL | MB_DEFBUTTON2);
    RunNote("question: replace the newer file %s? button %d", path ? path : "", button);
    switch (button) {
        case IDYES:
            return 1;
        case IDCANCEL:
            ThrowScriptError(ScriptError::kCancelled);
        default:
            return 2;
    }
}

std::unique_ptr<CInstallHost> MakeInstallDialogHost() {
    return std::make_unique<CInstallDialogHost>();
}
