#include "tools/pxfcheck/CatalogJson.h"

#include <cstdio>

#include "commands/CommandCatalog.h"

namespace pxfcheck {
namespace {

// A JSON string literal of text; bytes above 0x7F pass as they are (the catalogue is
// ASCII, and UTF-8 would be valid anyway).
std::string Quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + '"';
}

const char* FormName(CommandInfo::Form form) {
    switch (form) {
        case CommandInfo::kArgs:
            return "args";
        case CommandInfo::kVarAndStatement:
            return "varAndStatement";
        case CommandInfo::kStatement:
            return "statement";
        case CommandInfo::kLabel:
            return "label";
        case CommandInfo::kTextIgnored:
            return "textIgnored";
    }
    return "args";
}

// "a, b, c" as a JSON array of the names, blanks around them removed.
std::string ParamArray(const char* params) {
    std::string out = "[";
    std::string name;
    auto flush = [&] {
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.empty()) return;
        if (out.size() > 1) out += ", ";
        out += Quoted(name.c_str());
        name.clear();
    };
    for (const char* p = params; *p; ++p) {
        if (*p == ',') {
            flush();
        } else if (*p != ' ' || !name.empty()) {
            name += *p;
        }
    }
    flush();
    return out + "]";
}

}  // namespace

std::string CatalogJson() {
    std::string out = "[\n";
    for (const CommandInfo* row = kCommandCatalog; row->name; ++row) {
        if (row != kCommandCatalog) out += ",\n";
        out += "  {\"name\": " + Quoted(row->name);
        out += ", \"form\": \"" + std::string(FormName(row->form)) + '"';
        out += ", \"signature\": " + Quoted(row->signature);
        out += ", \"changesMachine\": ";
        out += (row->flags & CommandInfo::kChangesMachine) ? "true" : "false";
        out += ", \"talksToUser\": ";
        out += (row->flags & CommandInfo::kTalksToUser) ? "true" : "false";
        out += ",\n   \"params\": " + ParamArray(row->params);
        out += ", \"does\": " + Quoted(row->does);
        out += ",\n   \"result\": " + Quoted(row->result);
        out += ", \"undo\": " + Quoted(row->undo);
        out += ", \"errors\": " + Quoted(row->errors) + "}";
    }
    return out + "\n]\n";
}

}  // namespace pxfcheck
