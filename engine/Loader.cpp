// Loading an installation file: the line table, the header check and the procedure table.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/ScriptEngine.h"
#include "engine/Text.h"
#include "engine/Tokenizer.h"

namespace {

constexpr char kHeader[] = ";OBRIX_INST_FILE";
constexpr size_t kMaxScriptPath = 259;
// The most bytes Load reads. Real installation files are a few kilobytes; the bound keeps
// an endless source (a pipe, a device) from being read until memory runs out.
constexpr size_t kMaxScriptBytes = 4 * 1024 * 1024;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Splits a byte stream into stored lines the way a text-mode read of at most 4095
// characters per line would: "\r\n" and "\n" end a line, a Ctrl+Z ends the file (editors
// of the platform may leave one after the last line), a longer line arrives as pieces of
// 4095 characters and a remainder (never splitting a character), a piece ends at its first
// NUL byte, and trailing white space is removed from each piece.
class LineSplitter {
public:
    template <typename Emit>
    void Feed(const char* data, size_t size, Emit&& emit) {
        for (size_t i = 0; i < size && !ended_; ++i) {
            char c = data[i];
            if (c == kEndOfFile) {
                ended_ = true;
                break;
            }
            if (pendingCr_) {
                pendingCr_ = false;
                if (c == '\n') {
                    EndLine(emit);
                    continue;
                }
                Append('\r', emit);
            }
            if (c == '\n') {
                EndLine(emit);
            } else if (c == '\r') {
                pendingCr_ = true;
            } else {
                Append(c, emit);
            }
        }
    }

    template <typename Emit>
    void Finish(Emit&& emit) {
        if (pendingCr_) Append('\r', emit);
        pendingCr_ = false;
        if (!piece_.empty()) EndLine(emit);
    }

private:
    template <typename Emit>
    void Append(char c, Emit& emit) {
        if (!ContinuesChar(static_cast<unsigned char>(c))) {
            if (pieceChars_ == kMaxLineLength) EndLine(emit);
            ++pieceChars_;
        }
        piece_.push_back(c);
    }

    template <typename Emit>
    void EndLine(Emit& emit) {
        size_t nul = piece_.find('\0');
        if (nul != std::string::npos) piece_.resize(nul);
        while (!piece_.empty() && std::isspace(static_cast<unsigned char>(piece_.back()))) {
            piece_.pop_back();
        }
        emit(piece_);
        piece_.clear();
        pieceChars_ = 0;
    }

    static constexpr char kEndOfFile = '\x1A';

    std::string piece_;
    int pieceChars_ = 0;
    bool pendingCr_ = false;
    bool ended_ = false;  // a Ctrl+Z was read: the rest of the stream is not text
};

// Stores the lines of a byte source in lines and returns their count: produce(feed) calls
// feed(data, size) with the source's bytes in order. Raises 12 for a first line that is not
// the header, 11 past kMaxScriptBytes, 2 without memory. With conversion given, the bytes are
// taken as the engine's text (a byte order mark included); without it, a leading byte order
// mark is skipped and *conversion says what the bytes turned out to need: the lines stored
// are then right only when it says kNone.
template <typename Produce>
int StoreLines(CItemArray& lines, Produce&& produce, FileTextConversion* conversion) {
    int count = 0;
    auto store = [&lines, &count](const std::string& line) {
        if (count == 0 && line != kHeader) ThrowScriptError(ScriptError::kNotInstallFile);
        lines.Add(line);
        ++count;
    };
    try {
        LineSplitter splitter;
        Utf8Validator checked;
        bool first = true;
        bool bom = false;
        size_t total = 0;
        produce([&](const char* data, size_t size) {
            total += size;
            if (total > kMaxScriptBytes) ThrowScriptError(ScriptError::kUnreadable);
            if (conversion && first && std::string_view(data, size).substr(0, 3) == kUtf8Bom) {
                bom = true;
                data += kUtf8Bom.size();
                size -= kUtf8Bom.size();
            }
            first = false;
            if (conversion) checked.Feed(data, size);
            splitter.Feed(data, size, store);
        });
        splitter.Finish(store);
        if (conversion) *conversion = ConversionFor(bom, checked);
    } catch (const std::bad_alloc&) {
        ThrowScriptError(ScriptError::kNoMemory);
    }
    return count;
}

// Calls feed with text in pieces, so that the size bound stops an oversized text as early
// as it stops a file.
template <typename Feed>
void FeedPieces(std::string_view text, Feed&& feed) {
    constexpr size_t kPiece = 64 * 1024;
    for (size_t at = 0; at < text.size(); at += kPiece) {
        feed(text.data() + at, std::min(kPiece, text.size() - at));
    }
}

// Stores the file's text again, converted: the lines stored while reading it took its
// bytes as they were.
int StoreConverted(CItemArray& lines, std::string_view bytes, FileTextConversion conversion) {
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
    std::string text;
    try {
        text = ConvertFileText(bytes, conversion);
    } catch (const std::bad_alloc&) {
        ThrowScriptError(ScriptError::kNoMemory);
    }
    lines.Clear();
    return StoreLines(
        lines, [&text](auto&& feed) { FeedPieces(text, feed); }, nullptr);
}

}  // namespace

void CScriptEngine::BeginLoad(const char* path) {
    lines_.Clear();
    macros_.Clear();
    globals_.Clear();
    SetPredefinedVars();
    procs_.Clear();  // its ranges would name lines of the old file
    currentLine_ = 0;
    callDepth_ = 0;
    scriptPath_.clear();
    if (!path || PathLongerThan(path, kMaxScriptPath)) ThrowScriptError(ScriptError::kUnreadable);
    scriptPath_ = path;
}

void CScriptEngine::EndLoad(int lineCount) {
    // The header alone is no installation file.
    if (lineCount < 2) ThrowScriptError(ScriptError::kUnreadable);
    BuildProcTable();
}

void CScriptEngine::Load(const char* path) {
    BeginLoad(path);
    // Binary mode, with "\r\n" handled by the splitter, reads the same on every platform.
    FilePtr file(std::fopen(path, "rb"));
    if (!file) ThrowScriptError(ScriptError::kUnreadable);
    auto readAll = [&file](auto&& feed) {
        std::vector<char> chunk(64 * 1024);
        while (size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get())) {
            feed(chunk.data(), got);
        }
    };
    FileTextConversion conversion = FileTextConversion::kNone;
    int count = StoreLines(lines_, readAll, &conversion);
    if (std::ferror(file.get())) ThrowScriptError(ScriptError::kUnreadable);
    if (conversion != FileTextConversion::kNone) {
        // Rare (a file in another encoding than the engine's): read it again whole.
        std::string bytes;
        std::rewind(file.get());
        try {
            readAll([&bytes](const char* data, size_t size) { bytes.append(data, size); });
        } catch (const std::bad_alloc&) {
            ThrowScriptError(ScriptError::kNoMemory);
        }
        if (std::ferror(file.get())) ThrowScriptError(ScriptError::kUnreadable);
        count = StoreConverted(lines_, bytes, conversion);
    }
    file.reset();
    EndLoad(count);
}

void CScriptEngine::LoadBytes(const char* data, size_t size, const char* path) {
    BeginLoad(path);
    const std::string_view bytes(data, size);
    FileTextConversion conversion = FileTextConversion::kNone;
    int count = StoreLines(
        lines_, [bytes](auto&& feed) { FeedPieces(bytes, feed); }, &conversion);
    if (conversion != FileTextConversion::kNone) count = StoreConverted(lines_, bytes, conversion);
    EndLoad(count);
}

void CScriptEngine::BuildProcTable() {
    procs_.RemoveAll();
    bool inside = false;
    int start = 0;
    std::string word;
    std::string name;
    for (int i = 0; i < lines_.GetCount(); ++i) {
        currentLine_ = i;
        const char* line = lines_.GetAt(i);
        if (!line) continue;
        const char* rest = SplitWord(line, " \t", word);
        if (EqualsNoCase(word, "proc")) {
            if (inside) ThrowScriptError(ScriptError::kSyntax);
            start = i;
            inside = true;
            SplitWord(rest, " \t;", name);
            if (name.empty()) ThrowScriptError(ScriptError::kSyntax);
            if (procs_.FindName(name) >= 0) ThrowScriptError(ScriptError::kDuplicateProc);
        } else if (EqualsNoCase(word, "endp")) {
            if (!inside) ThrowScriptError(ScriptError::kSyntax);
            char range[32];
            std::snprintf(range, sizeof range, "%d,%d", start, i);
            procs_.SetValue(name, range);
            inside = false;
        } else if (!inside && !word.empty() && word[0] != ';') {
            ThrowScriptError(ScriptError::kSyntax);  // a statement outside any procedure
        }
    }
    // A procedure still open here is dropped: calling it finds nothing.
    currentLine_ = 0;
    stopMode_ = kRunning;
}

namespace {
// Reads a stored range "start,end" back through the argument parser.
void ReadRange(CScriptEngine& engine, const char* value, int* start, int* end) {
    char text[32];
    const size_t length = std::min(std::strlen(value), sizeof text - 1);
    std::memcpy(text, value, length);
    text[length] = '\0';
    int s = 0, e = 0;
    ParseArgs(engine, text, nullptr, "dd", &s, &e);
    *start = s;
    *end = e;
}
}  // namespace

void CScriptEngine::GetProcRange(const char* name, int* start, int* end) {
    const std::string_view text(name);
    ProcMemo& memo = procMemo_[HashAsWritten(text) % kProcMemoSize];
    if (memo.version == procs_.GetVersion() && memo.name == text) {
        *start = memo.start;
        *end = memo.end;
        return;
    }
    const char* value = procs_.FindValue(name);
    if (!value) ThrowNotFound("procedure ", text);
    ReadRange(*this, value, start, end);
    memo.version = 0;
    try {
        memo.name.assign(text);
    } catch (const std::bad_alloc&) {
        return;  // not remembered: the next call reads the table again
    }
    memo.start = *start;
    memo.end = *end;
    memo.version = procs_.GetVersion();
}

void CScriptEngine::FindProcByLine(int line, std::string* nameOut, int* start, int* end) {
    for (int i = 0; i < procs_.GetCount(); ++i) {
        int s = 0, e = 0;
        ReadRange(*this, procs_.ValueAt(i), &s, &e);
        if (s <= line && line <= e) {
            if (nameOut) procs_.GetAt(i, nameOut, nullptr);
            *start = s;
            *end = e;
            return;
        }
    }
    ThrowScriptError(ScriptError::kNotFound);
}
