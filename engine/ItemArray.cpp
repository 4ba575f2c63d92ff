#include "engine/ItemArray.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

#include "engine/ScriptError.h"
#include "engine/Text.h"

// ---------------------------------------------------------------------------------------
// CItemArray

namespace {
// Each list starts its versions at its own point, far apart from every other list's, so a
// list made where another one stood never repeats a version of the old one.
unsigned long long FirstVersion() {
    static std::atomic<unsigned long long> lists{0};
    return (lists.fetch_add(1, std::memory_order_relaxed) + 1) << 40;
}
}  // namespace

CItemArray::CItemArray(int initialCapacity, int growStep)
    : growStep_(std::max(growStep, 1)), version_(FirstVersion()), shape_(version_) {
    SetCapacity(initialCapacity);
}

const char* CItemArray::GetAt(int index) const {
    if (index < 0 || index >= count_) return nullptr;
    const std::string& s = Slot(index);
    return s.empty() ? nullptr : s.c_str();
}

int CItemArray::IndexOf(const char* item) const {
    for (int i = 0; i < count_; ++i) {
        if (!Slot(i).empty() && Slot(i).c_str() == item) return i;
    }
    return -1;
}

void CItemArray::EnsureRoom(int needed) {
    // Every allocation in a table goes through here or through std::string, and both report
    // exhaustion as bad_alloc; the script sees code 2.
    try {
        if (static_cast<size_t>(needed) > items_.capacity()) {
            // The grow step, or half the capacity when that is more: a list filled one entry
            // at a time (a long file's lines) then grows in a few steps, not thousands.
            const size_t step = std::max(static_cast<size_t>(growStep_), items_.capacity() / 2);
            items_.reserve(std::max(static_cast<size_t>(needed), items_.capacity() + step));
        }
        while (items_.size() < static_cast<size_t>(needed)) {
            items_.push_back(std::make_unique<std::string>());
        }
    } catch (const std::bad_alloc&) {
        ThrowScriptError(ScriptError::kNoMemory);
    } catch (const std::length_error&) {
        ThrowScriptError(ScriptError::kNoMemory);
    }
}

std::string& CItemArray::AppendSlot() {
    EnsureRoom(count_ + 1);
    Touch();
    return Slot(count_++);
}

int CItemArray::Add(std::string_view text) {
    EnsureRoom(count_ + 1);
    try {
        Slot(count_).assign(text.data(), text.size());
    } catch (const std::bad_alloc&) {
        ThrowScriptError(ScriptError::kNoMemory);
    }
    const int index = count_++;
    Touch();
    // A name-value table must see this entry in its lookups like any other.
    OnEntriesMoved();
    return index;
}

void CItemArray::InsertAt(int index, std::string_view text) {
    if (index < 0) index = 0;
    if (index > count_) index = count_;
    Add(text);
    // The new entry sits at the end; rotating moves it into place without copying texts.
    std::rotate(items_.begin() + index, items_.begin() + count_ - 1, items_.begin() + count_);
    Touch();
    OnEntriesMoved();
}

void CItemArray::SetAt(int index, std::string_view text) {
    if (index < 0) return;
    while (count_ <= index) Add(std::string_view());
    try {
        Slot(index).assign(text.data(), text.size());
    } catch (const std::bad_alloc&) {
        Touch();
        ThrowScriptError(ScriptError::kNoMemory);
    }
    Touch();
    OnEntriesMoved();
}

void CItemArray::RemoveAt(int index) {
    if (index < 0 || index >= count_) return;
    // The removed string is kept past the used slots for reuse.
    std::rotate(items_.begin() + index, items_.begin() + index + 1, items_.begin() + count_);
    --count_;
    Touch();
    OnEntriesMoved();
}

void CItemArray::RemoveAll() {
    count_ = 0;
    Touch();
    OnEntriesMoved();
}

void CItemArray::Clear() {
    count_ = 0;
    Touch();
    std::vector<std::unique_ptr<std::string>>().swap(items_);
    OnEntriesMoved();
}

void CItemArray::SetCapacity(int n) {
    if (n < count_) n = count_;
    if (n == 0) {
        Clear();
        return;
    }
    if (static_cast<size_t>(n) < items_.size()) {
        items_.resize(static_cast<size_t>(n));
        items_.shrink_to_fit();
    } else {
        try {
            items_.reserve(static_cast<size_t>(n));
        } catch (const std::exception&) {
            ThrowScriptError(ScriptError::kNoMemory);
        }
    }
}

// ---------------------------------------------------------------------------------------
// CNameValueTable

namespace {
// The name part of an entry: up to its first "=", or nothing when it has none (such an
// entry can never match a lookup, which needs the "=").
// Whether entry begins with name, upper-cased, and "=".
bool StoresName(const std::string& entry, std::string_view name) {
    if (entry.size() <= name.size() || entry[name.size()] != '=') return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (entry[i] != ToUpperAscii(name[i])) return false;
    }
    return true;
}

bool EntryKey(const std::string& entry, std::string_view* key) {
    size_t eq = entry.find('=');
    if (eq == std::string::npos) return false;
    *key = std::string_view(entry.data(), eq);
    return true;
}
}  // namespace

const std::string& CNameValueTable::UpperKey(std::string_view name) const {
    if (LongerThan(name, kMaxNameLength)) ThrowScriptError(ScriptError::kTooLong);
    key_.assign(name.data(), name.size());
    UpperCaseAscii(key_);
    return key_;
}

void CNameValueTable::RebuildIndex() const {
    index_.clear();
    for (int i = 0; i < GetCount(); ++i) {
        std::string_view key;
        if (EntryKey(Slot(i), &key)) index_.emplace(std::string(key), i);  // keeps the first
    }
    indexValid_ = true;
}

int CNameValueTable::FindName(std::string_view name) const {
    if (LongerThan(name, kMaxNameLength)) ThrowScriptError(ScriptError::kTooLong);
    // Small tables (call frames) are scanned, comparing with the name upper-cased on the
    // fly: cheaper than copying and hashing, and they never pay for index nodes. A name
    // holding "=" matches by prefix across the entry's own "=", which the index cannot
    // answer, so it is scanned too.
    if (GetCount() <= kScanLimit || name.find('=') != std::string_view::npos) {
        for (int i = 0; i < GetCount(); ++i) {
            if (StoresName(Slot(i), name)) return i;
        }
        return -1;
    }
    const std::string& key = UpperKey(name);
    if (!indexValid_) {
        try {
            RebuildIndex();
        } catch (const std::bad_alloc&) {
            ThrowScriptError(ScriptError::kNoMemory);
        }
    }
    auto it = index_.find(key);
    return it == index_.end() ? -1 : it->second;
}

const char* CNameValueTable::FindValue(std::string_view name) const {
    int i = FindName(name);
    if (i < 0) return nullptr;
    // The entry begins with the name and "=", both of the length that was looked up.
    return Slot(i).c_str() + name.size() + 1;
}

const char* CNameValueTable::GetValue(std::string_view name) const {
    const char* value = FindValue(name);
    if (!value) ThrowScriptError(ScriptError::kNotFound);
    return value;
}

void CNameValueTable::SetValueAt(int found, std::string_view name, std::string_view value) {
    if (name.size() + 1 + value.size() > static_cast<size_t>(kMaxLineLength) &&
        CharCount(name) + 1 + CharCount(value) > static_cast<size_t>(kMaxLineLength)) {
        ThrowScriptError(ScriptError::kTooLong);
    }
    if (found >= 0) {
        // The entry begins with the name and "=" already: only the value after them changes,
        // in place, unless the new value lives in the entry itself.
        std::string& entry = Slot(found);
        const auto from = reinterpret_cast<std::uintptr_t>(entry.data());
        const auto at = reinterpret_cast<std::uintptr_t>(value.data());
        if (at < from || at > from + entry.size()) {
            const size_t keep = name.size() + 1;
            if (entry.size() - keep == value.size()) {
                // A counter mostly keeps its length: its characters are written over.
                std::memcpy(&entry[keep], value.data(), value.size());
            } else {
                try {
                    entry.replace(keep, std::string::npos, value.data(), value.size());
                } catch (const std::bad_alloc&) {
                    ThrowScriptError(ScriptError::kNoMemory);
                }
            }
            TouchValue();
            return;
        }
    }
    UpperKey(name);
    try {
        // Built apart first: value may point into the entry being replaced.
        entryScratch_.assign(key_).append(1, '=').append(value.data(), value.size());
        if (found >= 0) {
            Slot(found).swap(entryScratch_);
            TouchValue();  // the same name, so in the same place
            return;
        }
        std::string& slot = AppendSlot();
        slot.swap(entryScratch_);
        if (indexValid_ && GetCount() > kScanLimit && key_.find('=') == std::string::npos) {
            index_.emplace(key_, GetCount() - 1);
        } else {
            indexValid_ = false;
        }
    } catch (const std::bad_alloc&) {
        indexValid_ = false;
        ThrowScriptError(ScriptError::kNoMemory);
    }
}

void CNameValueTable::GetAt(int index, std::string* nameOut, std::string* valueOut) const {
    const char* entry = CItemArray::GetAt(index);
    std::string_view text = entry ? entry : "";
    size_t eq = text.find('=');
    if (nameOut) nameOut->assign(text.substr(0, eq));
    if (valueOut) valueOut->assign(eq == std::string_view::npos ? "" : text.substr(eq + 1));
}

const char* CNameValueTable::ValueAt(int index) const {
    const char* entry = CItemArray::GetAt(index);
    if (!entry) return "";
    const char* eq = std::strchr(entry, '=');
    return eq ? eq + 1 : "";
}
