// Parenthesised text as the outside tools print it (djvused print-txt and print-ant, djvutxt), brought to
// one spacing so that it compares with the text we wrote.
#pragma once

#include <string>

namespace MvxTest {

// One blank between tokens outside strings, none just inside parentheses, line breaks taken as blanks;
// strings, escapes included, kept as written.
inline std::string normalizeExpressionText(const std::string& in)
{
    std::string out;
    bool quoted = false, space = false;
    for (size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (quoted) {
            out += c;
            if (c == '\\' && i + 1 < in.size())
                out += in[++i];
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            space = true;
            continue;
        }
        if (space && !out.empty() && out.back() != '(' && c != ')')
            out += ' ';
        space = false;
        out += c;
        if (c == '"')
            quoted = true;
    }
    return out;
}

} // namespace MvxTest
