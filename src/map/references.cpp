#include "map/references.h"

#include <limits>

#include "map/path_index.h"

namespace keston::map {

namespace {

// Digits beyond these make a number past any destination's end.
constexpr std::uint32_t MAX_NUMBER_DIGITS = 19;

// A name is a whole token: it begins the line or stands behind one of these.
bool comes_before_name(char c) {
    switch (c) {
        case ' ':
        case '\t':
        case '"':
        case '\'':
        case '`':
        case '(':
        case '[':
        case '<':
            return true;
        default:
            return false;
    }
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool ReferenceScanner::next(Reference* reference) {
    for (; at_ < length_; ++at_) {
        const char c = line_[at_];
        const bool may_begin_form = c == '(' || c == ':' || c == ' ';
        const std::uint32_t end = may_begin_form && at_ > component_start_ ? read_form(at_, reference) : 0;
        if (end != 0) {
            reference->pair = find_pair(at_, &reference->name_start);
            if (reference->pair != nullptr) {
                reference->name_end = at_;
                at_ = previous_end_ = end;
                // No name begins right behind a reference.
                token_start_ = component_start_ = length_;
                return true;
            }
        }
        pass(c);
    }
    return false;
}

// Notes where a name may begin, behind the character at at_.
void ReferenceScanner::pass(char c) {
    if (comes_before_name(c)) {
        token_start_ = component_start_ = at_ + 1;
    } else if (is_separator(c) && token_start_ <= at_) {  // within a token
        component_start_ = at_ + 1;
    }
}

Pair* ReferenceScanner::pair_named_before(std::uint32_t end) {
    for (; at_ < end; ++at_) pass(line_[at_]);
    std::uint32_t start = 0;
    return at_ > component_start_ ? find_pair(at_, &start) : nullptr;
}

// The end of the form that begins at 'at', behind a name: "(N)", ":N" or
// " [N]"; 0 when none begins there.
std::uint32_t ReferenceScanner::read_form(std::uint32_t at, Reference* reference) const {
    const char opener = line_[at];
    if (opener == ' ' && (at + 1 == length_ || line_[++at] != '[')) return 0;
    std::uint32_t end = at + 1;
    std::uint64_t number = 0;
    while (end < length_ && is_digit(line_[end])) {
        const auto digit = static_cast<std::uint64_t>(line_[end] - '0');
        number = end - at > MAX_NUMBER_DIGITS ? std::numeric_limits<std::uint64_t>::max() : number * 10 + digit;
        ++end;
    }
    if (end == at + 1) return 0;
    reference->number_start = at + 1;
    reference->number_end = end;
    reference->number = number;
    reference->fasm_form = opener == ' ';
    if (opener == ':') return end;
    const char closer = opener == '(' ? ')' : ']';
    return end < length_ && line_[end] == closer ? end + 1 : 0;
}

// The pair whose destination the path that ends at name_end names, and where
// that path begins. The path is the token that ends there, or a longer text
// with blanks in it where that is a pair's path. A path that is a
// destination's refers to it, one that is a source's to none, and any other
// to the one destination that shares most of its trailing components.
Pair* ReferenceScanner::find_pair(std::uint32_t name_end, std::uint32_t* name_start) const {
    if (!may_end_a_destination(line_ + component_start_, name_end - component_start_)) return nullptr;
    ResolvedPath path;
    bool owned = false;
    const std::size_t longest = longest_path_with_blanks();
    std::uint32_t start = previous_end_;
    if (name_end - start > longest) start = name_end - static_cast<std::uint32_t>(longest);
    for (; start < token_start_; ++start) {
        if ((start != 0 && !comes_before_name(line_[start - 1])) ||
            !resolve_path(line_ + start, name_end - start, &path)) {
            continue;
        }
        Pair* const pair = pair_of(path, line_ + start, name_end - start, true, &owned);
        if (!owned) continue;
        *name_start = start;
        return pair;
    }
    *name_start = token_start_;
    if (!resolve_path(line_ + token_start_, name_end - token_start_, &path)) return nullptr;
    return pair_of(path, line_ + token_start_, name_end - token_start_, false, &owned);
}

}  // namespace keston::map
