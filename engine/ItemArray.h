// Owned text lists and name-value tables: the storage behind every engine table (lines,
// procedures, variables, macros, frames) and the rollback lists.
//
// Both classes hold texts, not raw pointers. An empty text is a "null entry": it is stored
// as such and GetAt returns nullptr for it, so empty script lines keep their place in the
// line table. Each entry lives in its own heap string whose address never moves, so a
// pointer returned by GetAt/FindValue stays valid until that very entry is replaced or the
// list is emptied, however many entries are added meanwhile.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/TextCase.h"

// Names are at most this long; longer names raise ScriptError::kTooLong.
constexpr int kMaxNameLength = 255;
// A stored "NAME=value" entry, like a script line, is at most this long.
constexpr int kMaxLineLength = 4095;
// Both limits count characters (see Text.h); a character takes at most this many bytes.
constexpr int kMaxCharBytes = 4;

class CItemArray {
public:
    // Reserves room for initialCapacity entries; growStep is the room added when full.
    CItemArray(int initialCapacity, int growStep);
    virtual ~CItemArray() = default;
    CItemArray(const CItemArray&) = delete;
    CItemArray& operator=(const CItemArray&) = delete;

    int GetCount() const { return count_; }
    // Changes with every change of the list's entries (and differs between lists), so that
    // what is worked out from the entries can be kept until its list changes.
    unsigned long long GetVersion() const { return version_; }
    // Like the version, but kept when only the text after a name-value entry's "=" changes:
    // where each name stands can be kept until the shape changes.
    unsigned long long GetShape() const { return shape_; }
    // The entry's text, or nullptr for a null entry or an index outside 0..count-1.
    const char* GetAt(int index) const;
    // Position of the first entry whose storage is exactly item (pointer identity), or -1.
    int IndexOf(const char* item) const;

    // Appends a copy of text (empty: a null entry); returns its position.
    int Add(std::string_view text);
    // Inserts a copy of text at index (0..count), moving later entries up by one.
    void InsertAt(int index, std::string_view text);
    // Replaces the entry at index; an index at or past count appends null entries up to it.
    void SetAt(int index, std::string_view text);
    void RemoveAt(int index);
    // Empties the list. Entry storage is kept for reuse, so a list emptied and refilled over
    // and over (a call frame) does not allocate again.
    void RemoveAll();
    // Empties the list and releases all storage.
    void Clear();
    // Room for n entries without growing; below count it is raised to count.
    void SetCapacity(int n);

protected:
    // Called after every change that adds, moves or renames entries other than through the
    // derived class's own bookkeeping.
    virtual void OnEntriesMoved() {}
    // Storage for a new entry at the end (reusing a kept string when there is one).
    std::string& AppendSlot();
    // A derived class changing an entry through Slot tells the version so.
    void Touch() {
        ++version_;
        ++shape_;
    }
    // The same for a change of a name-value entry's value alone.
    void TouchValue() { ++version_; }
    std::string& Slot(int index) { return *items_[static_cast<size_t>(index)]; }
    const std::string& Slot(int index) const { return *items_[static_cast<size_t>(index)]; }

private:
    void EnsureRoom(int needed);

    std::vector<std::unique_ptr<std::string>> items_;  // [0, count_) used, the rest kept
    int count_ = 0;
    int growStep_;
    unsigned long long version_;
    unsigned long long shape_;
};

// Entries "NAME=value" with the name upper-cased. Lookups take the first entry, in table
// order, whose text begins with the upper-cased name followed by "=". Beyond a few entries an
// index from name to first position keeps lookups constant-time however many entries there
// are; SetValue keeps it in step and any other change has it rebuilt at the next lookup.
class CNameValueTable : public CItemArray {
public:
    CNameValueTable(int initialCapacity, int growStep) : CItemArray(initialCapacity, growStep) {}

    // Index of the first entry for name (any case), or -1. Names over 255 characters raise 9.
    int FindName(std::string_view name) const;
    // The value of name, or nullptr when there is no entry.
    const char* FindValue(std::string_view name) const;
    // The value of name; raises 1 when there is no entry.
    const char* GetValue(std::string_view name) const;
    // Replaces the first entry for name in its slot, or appends one. Raises 9 for a name over
    // 255 characters or an entry over 4095. value may point into this table.
    void SetValue(std::string_view name, std::string_view value) {
        SetValueAt(FindName(name), name, value);
    }
    // SetValue for the entry FindName(name) gave (-1: none), while the table's shape is the
    // one it was found under.
    void SetValueAt(int found, std::string_view name, std::string_view value);
    // The value of the entry FindName found at index for a name of nameLength characters.
    const char* ValueAfter(int index, size_t nameLength) const {
        return Slot(index).c_str() + nameLength + 1;
    }
    // Splits the entry at index at its first "="; without "=" it is all name, value empty.
    void GetAt(int index, std::string* nameOut, std::string* valueOut) const;
    // The text after the first "=" of the entry at index, or "".
    const char* ValueAt(int index) const;
    using CItemArray::GetAt;

protected:
    void OnEntriesMoved() override { indexValid_ = false; }

private:
    static constexpr int kScanLimit = 16;  // tables up to this size are scanned, not indexed

    const std::string& UpperKey(std::string_view name) const;
    void RebuildIndex() const;

    mutable std::unordered_map<std::string, int> index_;  // name part -> first position
    mutable bool indexValid_ = true;
    mutable std::string key_;   // scratch for upper-casing lookups
    std::string entryScratch_;  // scratch for building entries
};
