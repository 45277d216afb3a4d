#include "TextInput.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace gendata {

void Location::fail(const std::string& message) const {
    throw InputError(file + ":" + std::to_string(line) + ": " + message);
}

std::string Line::rest(std::size_t from) const {
    std::string s;
    for (std::size_t i = from; i < tokens.size(); ++i) {
        if (!s.empty()) s += ' ';
        s += tokens[i];
    }
    return s;
}

namespace {

// Splits one line; quotes group blanks into a token and are dropped.
std::vector<std::string> tokenize(const Location& at, const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    bool inQuotes = false, have = false;
    for (char c : text) {
        if (inQuotes) {
            if (c == '"') inQuotes = false;
            else cur += c;
        } else if (c == '"') {
            inQuotes = true;
            have = true;
        } else if (c == ' ' || c == '\t') {
            if (have) out.push_back(cur);
            cur.clear();
            have = false;
        } else {
            cur += c;
            have = true;
        }
    }
    if (inQuotes) at.fail("unterminated quote");
    if (have) out.push_back(cur);
    return out;
}

std::string stripComment(const std::string& text) {
    bool inQuotes = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') inQuotes = !inQuotes;
        else if (text[i] == '#' && !inQuotes) {
            // '#' inside single quotes is a character value, not a comment.
            if (i > 0 && text[i - 1] == '\'' && i + 1 < text.size() && text[i + 1] == '\'') continue;
            return text.substr(0, i);
        }
    }
    return text;
}

}  // namespace

std::vector<Line> readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError(path + ": cannot be opened");
    std::vector<Line> lines;
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        Location at{path, number};
        for (unsigned char c : raw)
            if (c != '\t' && (c < 0x20 || c > 0x7E)) at.fail("only printable ASCII is allowed");
        std::string text = stripComment(raw);
        Line line;
        line.where = at;
        line.indented = !text.empty() && (text[0] == ' ' || text[0] == '\t');
        line.tokens = tokenize(at, text);
        if (!line.tokens.empty()) lines.push_back(std::move(line));
    }
    return lines;
}

Fields parsePairs(const Line& line, std::size_t from, const Fields& already) {
    Fields out;
    for (std::size_t i = from; i < line.tokens.size(); ++i) {
        const std::string& t = line.tokens[i];
        const auto eq = t.find('=');
        if (eq == std::string::npos || eq == 0) line.where.fail("expected key=value, found \"" + t + "\"");
        std::string key = t.substr(0, eq);
        for (const Fields* seen : {&already, static_cast<const Fields*>(&out)})
            for (const auto& f : *seen)
                if (f.key == key) line.where.fail("\"" + key + "\" is given twice");
        out.push_back(Field{std::move(key), t.substr(eq + 1), line.where});
    }
    return out;
}

long long parseInteger(const Location& at, const std::string& key, const std::string& text,
                       long long min, long long max) {
    long long v = 0;
    if (text.size() == 3 && text.front() == '\'' && text.back() == '\'') {
        v = static_cast<unsigned char>(text[1]);
    } else {
        if (text.empty()) at.fail(key + ": a number is missing");
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        const std::string digits = hex ? text.substr(2) : text;
        std::size_t start = (!hex && (digits[0] == '-' || digits[0] == '+')) ? 1 : 0;
        if (start >= digits.size()) at.fail(key + ": \"" + text + "\" is not a number");
        for (std::size_t i = start; i < digits.size(); ++i) {
            const char c = digits[i];
            const bool ok = hex ? std::isxdigit(static_cast<unsigned char>(c)) : (c >= '0' && c <= '9');
            if (!ok) at.fail(key + ": \"" + text + "\" is not a number");
        }
        errno = 0;
        v = std::strtoll(digits.c_str(), nullptr, hex ? 16 : 10);
        if (errno == ERANGE) at.fail(key + ": \"" + text + "\" is out of range");
    }
    if (v < min || v > max)
        at.fail(key + ": " + text + " is outside " + std::to_string(min) + ".." + std::to_string(max));
    return v;
}

float parseFloat(const Location& at, const std::string& key, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double d = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(d))
        at.fail(key + ": \"" + text + "\" is not a number");
    if (d < 0.0 || d > 30.0) at.fail(key + ": " + text + " volts is outside 0..30");
    return static_cast<float>(d);
}

std::vector<std::string> splitList(const std::string& text, char sep) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == sep) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

unsigned parseFlags(const Location& at, const std::string& key, const std::string& text,
                    const std::map<std::string, unsigned>& names, unsigned max) {
    if (!text.empty() && text[0] >= '0' && text[0] <= '9')
        return static_cast<unsigned>(parseInteger(at, key, text, 0, max));
    if (text == "none") return 0;
    unsigned bits = 0;
    for (const std::string& name : splitList(text)) {
        const auto it = names.find(name);
        if (it == names.end()) {
            std::string known;
            for (const auto& n : names) known += " " + n.first;
            at.fail(key + ": unknown flag \"" + name + "\" (known:" + known + ")");
        }
        if (bits & (1u << it->second)) at.fail(key + ": flag \"" + name + "\" given twice");
        bits |= 1u << it->second;
    }
    return bits;
}

bool isPrintableAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

}  // namespace gendata
