#include "rollback/JournalFolder.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

#include "engine/TextCase.h"
#include "platform/TextCodec.h"

namespace tolv {

namespace {

std::string gCommonAppDataForTesting;

// Owner Administrators; protected list: full control for Administrators and SYSTEM, passed
// on to every folder and file below.
constexpr char kFolderSecurity[] = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// Rights that let a holder put a file into the folder, change or remove one, or take the
// folder's security over.
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                               FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                               WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

bool RunsUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The process's own user, as a SID buffer; empty when it cannot be read.
std::vector<BYTE> OwnUser() {
    std::vector<BYTE> sid;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> info(size);
    if (size && GetTokenInformation(token, TokenUser, info.data(), size, &size)) {
        const PSID user = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
        const BYTE* bytes = static_cast<const BYTE*>(user);
        sid.assign(bytes, bytes + GetLengthSid(user));
    }
    CloseHandle(token);
    return sid;
}

bool IsTrusted(PSID sid) {
    if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid))
        return true;
    static const bool wine = RunsUnderWine();
    if (!wine) return false;
    static const std::vector<BYTE> own = OwnUser();
    return !own.empty() && EqualSid(sid, const_cast<BYTE*>(own.data()));
}

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "an unknown account";
    std::string out = text;
    LocalFree(text);
    return out;
}

std::string CommonAppData() {
    if (!gCommonAppDataForTesting.empty()) return gCommonAppDataForTesting;
    // Asked wide: the narrow call cuts a UTF-8 path at MAX_PATH bytes.
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::string();
    return TextFromWide(path);
}

// Whether the folder at path may hold journals; *reason when not.
bool CheckFolder(const std::string& path, std::string* reason) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        *reason = path + " is no plain folder";
        return false;
    }
    PSECURITY_DESCRIPTOR security = nullptr;
    const DWORD error = GetNamedSecurityInfoA(
        path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        nullptr, nullptr, nullptr, nullptr, &security);
    if (error != ERROR_SUCCESS) {
        *reason =
            "the security of " + path + " cannot be read (error " + std::to_string(error) + ")";
        return false;
    }
    std::string why;
    const bool trusted = CheckFolderSecurity(security, &why);
    LocalFree(security);
    if (!trusted) *reason = path + " " + why;
    return trusted;
}

// Makes the folder at path with the journal folder's security; an existing one is left as
// it is, for the check to judge.
bool MakeFolder(const std::string& path, std::string* reason) {
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kFolderSecurity, SDDL_REVISION_1,
                                                              &security, nullptr)) {
        *reason = "no security for " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, security, FALSE};
    const bool made =
        CreateDirectoryA(path.c_str(), &attributes) || GetLastError() == ERROR_ALREADY_EXISTS;
    if (!made) {
        *reason = path + " cannot be made (error " + std::to_string(GetLastError()) + ")";
    }
    LocalFree(security);
    return made;
}

std::string JournalFolder(bool make, std::string* reason) {
    reason->clear();
    const std::string appData = CommonAppData();
    if (appData.empty()) {
        *reason = "the common application data folder is unknown";
        return std::string();
    }
    const std::string base = appData + (appData.back() == '\\' ? "" : "\\") + "Tolvarin";
    const std::string folder = base + "\\Journal";
    for (const std::string& path : {base, folder}) {
        if (make) {
            if (!MakeFolder(path, reason)) return std::string();
        } else if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            return std::string();
        }
        // The parent too: whoever may rename the folder away may put one of theirs in its place.
        if (!CheckFolder(path, reason)) return std::string();
    }
    return folder;
}

}  // namespace

bool CheckFolderSecurity(PSECURITY_DESCRIPTOR security, std::string* reason) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(security, &owner, &defaulted) || !owner) {
        *reason = "has no owner";
        return false;
    }
    if (!IsTrusted(owner)) {
        *reason = "is owned by " + SidText(owner);
        return false;
    }
    BOOL present = FALSE;
    PACL list = nullptr;
    if (!GetSecurityDescriptorDacl(security, &present, &list, &defaulted) || !present || !list) {
        *reason = "has no access list: everyone may write to it";
        return false;
    }
    for (DWORD i = 0; i < list->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(list, i, reinterpret_cast<void**>(&header))) {
            *reason = "has an unreadable access list";
            return false;
        }
        if (header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == SYSTEM_AUDIT_ACE_TYPE) {
            continue;
        }
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            *reason = "has an access entry of kind " + std::to_string(header->AceType);
            return false;
        }
        const auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kWriteRights) && !IsTrusted(sid)) {
            *reason = "lets " + SidText(sid) + " write to it";
            return false;
        }
    }
    return true;
}

std::string OpenJournalFolder(std::string* reason) {
    return JournalFolder(true, reason);
}

std::string FindJournalFolder(std::string* reason) {
    return JournalFolder(false, reason);
}

void SetCommonAppDataForTesting(const char* folder) {
    gCommonAppDataForTesting = folder ? folder : "";
}

}  // namespace tolv
