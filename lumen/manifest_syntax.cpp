#include "manifest_syntax.h"

#include <algorithm>

#include "shown_text.h"

namespace lumen {
namespace {

// toml++ 3 words each error "Error while parsing <scope>: <reason>".
constexpr std::string_view kPrefix = "Error while parsing ";

struct Translation {
    std::string_view scope;   // part of the parser's scope; empty for any
    std::string_view reason;  // part of its reason; empty for any
    bool atLineEnd;           // only where it stopped at the end of a line or of the text
    std::string_view words;   // {name}: the name that the reason quotes
};

// The first row that fits wins.
constexpr Translation kTranslations[] = {
    {"string", "unescaped control characters", true,
     "text in quotes is not closed on its line; end it with the quote it begins with (text of "
     "several lines goes between \"\"\" and \"\"\")"},
    {"string", "end-of-file", false,
     "text in quotes is not closed when the manifest ends; end it with the quote it begins with"},
    {"string", "unescaped control characters", false,
     "a control character in text in quotes; write it as an escape: \\t, \\n, \\u0001"},
    {"comment", "control characters", false, "a control character in a comment; delete it"},
    {"string", "unknown escape sequence", false,
     "a backslash that begins no escape; write \\\\ for one backslash (or / between folders), or "
     "put the text in single quotes, which keep backslashes as they are"},
    {"string", "not supported", false,
     "\\e and \\x are no escapes in a manifest; write \\u and four hexadecimal digits: \\u001B"},
    {"string", "line-ending backslashes", false,
     "a backslash that ends a line of text between \"\"\" must be the last thing on it"},
    {"unicode scalar sequence", "hex digit", false,
     "\\u takes four hexadecimal digits and \\U eight: \\u00E9, \\U0001F600"},
    {"unicode scalar sequence", "", false,
     "an escape that names no character; \\u and \\U take U+0000 to U+10FFFF but not U+D800 to "
     "U+DFFF"},
    {"table header", "cannot redefine existing table", false,
     "a second [{name}] table; a table is written once, so join the two"},
    {"table header", "as array-of-tables", false,
     "[[{name}]] after {name} was written as a key or a [{name}] table; write it one way only"},
    {"table header", "as table", false,
     "[{name}] after {name} was written as a key or with two brackets; each resource is a "
     "[[resource]] and each member a [[resource.member]]"},
    {"table header", "", false,
     "a table's name is not written right; write [database], [[resource]] or "
     "[[resource.member]] alone on its line"},
    {"key-value pair", "cannot redefine", false, "is given twice in its table; keep one"},
    {"", "cannot insert", false,
     "a key added to a { } table after it closed; write all of its keys inside the braces"},
    {"", "not representable", false,
     "a number too large; no key takes more than 4294967295 (0xFFFFFFFF)"},
    {"", "could not be interpreted", false,
     "a number too large; no key takes more than 4294967295 (0xFFFFFFFF)"},
    {"integer", "leading zero", false,
     "a number with a leading zero; write 31000, or 0x7918 in hexadecimal"},
    {"", "underscore", false,
     "an underscore in a number that is not between two digits; write 31000 or 31_000"},
    {"integer", "", false,
     "a number is not written right; write a whole number as 31000 or 0x7918, without units; "
     "text goes in quotes"},
    {"floating-point", "", false,
     "a number is not written right, and no key takes a fraction; write a whole number as 31000 "
     "or 0x7918; text goes in quotes"},
    {"date", "", false,
     "a date is not written right, and no key takes a date; created, modified and backedUp are "
     "seconds since 1 January 1904, as export writes them: created = 0xE1A2B3C4"},
    {"time", "", false,
     "a time is not written right, and no key takes a time; created, modified and backedUp are "
     "seconds since 1 January 1904, as export writes them: created = 0xE1A2B3C4"},
    {"array", "", false,
     "a list in [ ] is not closed, or lacks a comma between its values; a table's name goes "
     "alone on its line: [[resource]]"},
    {"inline table", "", false,
     "a table in { } is not closed on its line, or lacks a comma between its keys; write "
     "{ key = 1, other = 2 } on one line"},
    {"key-value pair", "expected value", false, "a key without a value; write it after the ="},
    {"key-value pair", "expected '='", false, "a key without =; write key = value"},
    {"key-value pair", "expected a comment", false,
     "more after the value; write one key = value a line, text in quotes, a comment after #"},
    {"", "vertical tabs", false,
     "a form feed or vertical tab; lines end with a line feed, or a carriage return and a line "
     "feed"},
    {"", "after '\\r'", false,
     "a carriage return that ends no line; lines end with a line feed, or a carriage return and "
     "a line feed"},
    {"root table", "", false,
     "a line that is neither key = value, a [table] nor a # comment; text goes in quotes"},
    {"key", "", false,
     "a key is not written right; keys are letters, digits, - and _ (or text in quotes)"},
    {"value", "nested", false, "values nested hundreds deep; no key takes more than one value"},
    {"boolean", "", false,
     "a value that is not written right; text goes in quotes (\"abmp\"), numbers and true or "
     "false without"},
    {"value", "", false,
     "a value that is not written right; text goes in quotes (\"abmp\"), numbers and true or "
     "false without"},
    {"", "end-of-file", false, "the manifest ends inside a value; finish it"},
};

std::string_view lineOf(std::string_view text, int line) {
    for (int k = 1; k < line; ++k) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            return {};
        }
        text.remove_prefix(end + 1);
    }
    return text.substr(0, text.find('\n'));
}

std::string_view trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return {};
    }
    text.remove_prefix(start);
    return text.substr(0, text.find_last_not_of(" \t\r") + 1);
}

bool isBareKeyCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

// The key that a line "key = ..." (or "key ..." without its =) begins
// with, and the table it stands in: "database.name". Empty for other lines.
std::string keyOfLine(std::string_view text, int line) {
    const std::string_view own = trimmed(lineOf(text, line));
    const auto length = static_cast<std::size_t>(
        std::find_if_not(own.begin(), own.end(), isBareKeyCharacter) - own.begin());
    if (length == 0 ||
        (length < own.size() && own[length] != ' ' && own[length] != '\t' && own[length] != '=')) {
        return {};
    }
    std::string key(own.substr(0, length));
    // The nearest table header above names the table.
    for (int above = line - 1; above >= 1; --above) {
        std::string_view header = trimmed(lineOf(text, above));
        header = header.substr(0, header.find('#'));
        header = trimmed(header);
        if (!header.starts_with('[') || !header.ends_with(']')) {
            continue;
        }
        header = header.substr(header.find_first_not_of('['));
        header = trimmed(header.substr(0, header.find(']')));
        return header.empty() || !std::all_of(header.begin(), header.end(), isBareKeyCharacter)
                   ? key
                   : std::string(header) + "." + key;
    }
    return key;
}

// The name between the first two single quotes of the parser's reason.
std::string_view quotedName(std::string_view reason) {
    const std::size_t start = reason.find('\'');
    const std::size_t end = start == std::string_view::npos ? start : reason.find('\'', start + 1);
    return end == std::string_view::npos ? std::string_view{}
                                         : reason.substr(start + 1, end - start - 1);
}

std::string withName(std::string_view words, std::string_view name) {
    std::string out;
    for (std::size_t at = 0; at < words.size();) {
        if (words.substr(at).starts_with("{name}")) {
            out += name;
            at += 6;
        } else {
            out += words[at++];
        }
    }
    return out;
}

}  // namespace

std::string syntaxMessage(std::string_view text, int line, int column,
                          std::string_view description) {
    std::string_view scope;
    std::string_view reason = description;
    if (description.starts_with(kPrefix)) {
        const std::size_t colon = description.find(": ");
        if (colon != std::string_view::npos) {
            scope = description.substr(kPrefix.size(), colon - kPrefix.size());
            reason = description.substr(colon + 2);
        }
    }
    const std::string_view own = lineOf(text, line);
    const auto at = static_cast<std::size_t>(std::max(column, 1) - 1);
    const bool atLineEnd = at >= own.size() || own[at] == '\r';
    // Text or a list not closed is found where the manifest ends, on a line
    // whose key has no part in it.
    const std::string key =
        reason.find("end-of-file") == std::string_view::npos ? keyOfLine(text, line) : "";
    const std::string where = key.empty() ? std::string() : key + ": ";
    for (const Translation& row : kTranslations) {
        if (scope.find(row.scope) != std::string_view::npos &&
            reason.find(row.reason) != std::string_view::npos && (!row.atLineEnd || atLineEnd)) {
            return where + withName(row.words, quotedName(reason));
        }
    }
    // Words no row knows yet: the parser's, shown safely on one line.
    return where + "not TOML" + (scope.empty() ? std::string() : " in a " + std::string(scope)) +
           ": " + shownPath(std::string(reason));
}

}  // namespace lumen
