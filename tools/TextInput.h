#pragma once
// Reading the readable sample data: lines split into tokens, key=value pairs,
// numbers and flag lists. Every complaint names the file and the line.
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace gendata {

// A fault in the input data; what() is "<file>:<line>: <message>".
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Location {
    std::string file;
    int line = 0;
    [[noreturn]] void fail(const std::string& message) const;
};

struct Line {
    Location where;
    bool indented = false;              // starts with blank or tab: continues the block above
    std::vector<std::string> tokens;    // split at blanks; "double quotes" keep blanks
    std::string rest(std::size_t from) const;  // tokens from..end joined by one blank
};

// Reads a text file into its non-empty lines, comments ('#' to the end of the
// line, outside quotes) removed.
std::vector<Line> readLines(const std::string& path);

// key=value pairs of a token list, in order; a key given twice is an error.
struct Field {
    std::string key, value;
    Location where;
};
using Fields = std::vector<Field>;
Fields parsePairs(const Line& line, std::size_t from, const Fields& already = {});

// Numbers: decimal, 0x hexadecimal, or a character in single quotes ('#').
long long parseInteger(const Location& at, const std::string& key, const std::string& text,
                       long long min, long long max);
float parseFloat(const Location& at, const std::string& key, const std::string& text);
// A number, or a comma list of flag names from the table (name -> bit).
unsigned parseFlags(const Location& at, const std::string& key, const std::string& text,
                    const std::map<std::string, unsigned>& names, unsigned max);
std::vector<std::string> splitList(const std::string& text, char sep = ',');

// Plain printable ASCII without control characters.
bool isPrintableAscii(const std::string& s);

}  // namespace gendata
