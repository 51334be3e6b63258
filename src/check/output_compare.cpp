#include "check/output_compare.h"

#include <functional>
#include <string_view>

#include "common/byte_scan.h"
#include "common/decimal.h"
#include "common/globals.h"
#include "transform/local_labels.h"

namespace keston::check {

namespace {

// The digits that keston writes at least behind a label's name and '_'.
constexpr std::size_t MIN_LABEL_DIGITS = 4;

struct LineLabel {
    std::string name;
    std::uint64_t number;
};

// The labels that -l writes into the line being run through the chain.
std::vector<LineLabel> g_line_labels;

void record_label(const char* name, std::uint32_t length, std::uint64_t number) {
    g_line_labels.push_back({std::string(name, length), number});
}

std::string label_text(const LineLabel& label) {
    const std::size_t digits = decimal_digits(label.number, MIN_LABEL_DIGITS);
    std::string text = label.name + '_' + std::string(digits, '0');
    write_digits(text.data() + text.size(), label.number, digits);
    return text;
}

// The chain's result for the current line with the number of each of its
// labels, met in order, as one '#': joining renumbers labels, and a number
// from 10,000 on takes a digit more than one below.
std::string line_without_numbers() {
    std::string text(current_line(), g_line_length);
    std::size_t at = 0;
    for (const LineLabel& label : g_line_labels) {
        const std::size_t found = text.find(label_text(label), at);
        if (found == std::string::npos) break;
        at = found + label.name.size() + 1;
        text.replace(at, decimal_digits(label.number, MIN_LABEL_DIGITS), 1, '#');
        ++at;
    }
    return text;
}

std::uint64_t hash_of(std::string_view text) {
    return std::hash<std::string_view>{}(text);
}

// The blanks in front of the chain's result for the current line: no label
// number stands among them.
std::size_t blanks_in_front() {
    return count_blanks(current_line(), g_line_length);
}

// Sets the chain up to tell a run's labels, for as long as it lives.
class LabelWatch {
   public:
    LabelWatch() : observer_(g_label_observer) {
        g_label_observer = record_label;
        g_line_labels.clear();
    }
    LabelWatch(const LabelWatch&) = delete;
    LabelWatch& operator=(const LabelWatch&) = delete;
    ~LabelWatch() { g_label_observer = observer_; }

   private:
    LabelObserver observer_;
};

class OutputDigest final : public LineObserver {
   public:
    explicit OutputDigest(ChainOutput* output) : output_(output) {}

    bool take_line(std::uint64_t) override {
        const std::string text = line_without_numbers();
        output_->hashes.push_back(hash_of(text));
        output_->blanks.push_back(static_cast<std::uint16_t>(blanks_in_front()));
        output_->label_counts.push_back(static_cast<std::uint16_t>(g_line_labels.size()));
        for (const LineLabel& label : g_line_labels) {
            const auto [found, added] =
                output_->name_indexes.try_emplace(label.name, static_cast<std::uint32_t>(output_->names.size()));
            if (added) output_->names.push_back(label.name);
            output_->labels.push_back({found->second, label.number});
        }
        g_line_labels.clear();
        return true;
    }

   private:
    ChainOutput* output_;
};

// The labels' numbers correspond one to one, but for names of the joined
// scopes, whose numbers may now be one. keston numbers labels from 0 up, so
// that the numbers index the tables.
class NumberMatch {
   public:
    NumberMatch(const ChainOutput& original, const std::unordered_set<std::string>& joined_names)
        : original_(original), joined_names_(joined_names) {}

    bool match(const WrittenLabel& before, const LineLabel& after) {
        const std::string& name = original_.names[before.name];
        if (name != after.name) return false;
        std::uint64_t& forth = at(&forth_, before.number, UNSEEN_NUMBER);
        if (forth != UNSEEN_NUMBER) return forth == after.number;
        forth = after.number;
        std::uint32_t& back = at(&back_, after.number, UNSEEN_NAME);
        if (back == UNSEEN_NAME) {
            back = before.name;
            return true;
        }
        return back == before.name && joined_names_.count(name) != 0;
    }

   private:
    static constexpr std::uint64_t UNSEEN_NUMBER = UINT64_MAX;
    static constexpr std::uint32_t UNSEEN_NAME = UINT32_MAX;

    template <typename T>
    static T& at(std::vector<T>* table, std::uint64_t number, T unseen) {
        if (number >= table->size()) table->resize(number + 1, unseen);
        return (*table)[number];
    }

    const ChainOutput& original_;
    const std::unordered_set<std::string>& joined_names_;
    std::vector<std::uint64_t> forth_;  // the joined number of each original one
    std::vector<std::uint32_t> back_;   // the name that a joined number was first met with
};

// Each line of the joined source's output against the original's.
class JoinedComparison final : public LineObserver {
   public:
    JoinedComparison(const ChainOutput& original, const std::vector<bool>& indented,
                     const std::unordered_set<std::string>& joined_names)
        : original_(original), indented_(indented), numbers_(original, joined_names) {}

    bool take_line(std::uint64_t number) override {
        const std::size_t line = number - 1;
        taken_ = number;
        const bool same = line < original_.hashes.size() && same_text(line) && same_labels(line);
        if (line < original_.label_counts.size()) first_label_ += original_.label_counts[line];
        g_line_labels.clear();
        return same;
    }

    std::uint64_t taken() const { return taken_; }

   private:
    // An indented line may only have blanks more in front.
    bool same_text(std::size_t line) const {
        const std::string text = line_without_numbers();
        if (!indented_[line]) return hash_of(text) == original_.hashes[line];
        const std::size_t blanks = blanks_in_front();
        const std::size_t before = original_.blanks[line];
        return blanks > before && hash_of(std::string_view(text).substr(blanks - before)) == original_.hashes[line];
    }

    // The lines come in order, so that where each line's labels begin is counted on the way.
    bool same_labels(std::size_t line) {
        if (original_.label_counts[line] != g_line_labels.size()) return false;
        for (std::size_t i = 0; i < g_line_labels.size(); ++i) {
            if (!numbers_.match(original_.labels[first_label_ + i], g_line_labels[i])) return false;
        }
        return true;
    }

    const ChainOutput& original_;
    const std::vector<bool>& indented_;
    NumberMatch numbers_;
    std::size_t first_label_ = 0;  // of the line being compared, in the original's labels
    std::uint64_t taken_ = 0;
};

}  // namespace

void run_chain(const SourceText& text, std::uint32_t lines, ChainOutput* output) {
    output->hashes.reserve(lines);
    output->blanks.reserve(lines);
    output->label_counts.reserve(lines);
    const LabelWatch watch;
    OutputDigest digest(output);
    StopFinder finder(&digest);
    finder.feed(text.bytes.data(), text.bytes.size());
    finder.finish();
}

std::uint64_t find_output_difference(const SourceText& text, const std::vector<std::size_t>& tab_offsets,
                                     const ChainOutput& original, const std::vector<bool>& indented,
                                     const std::unordered_set<std::string>& joined_names) {
    const LabelWatch watch;
    JoinedComparison comparison(original, indented, joined_names);
    StopFinder finder(&comparison);
    std::size_t copied = 0;
    for (const std::size_t offset : tab_offsets) {
        finder.feed(text.bytes.data() + copied, offset - copied);
        finder.feed("\t", 1);
        copied = offset;
    }
    finder.feed(text.bytes.data() + copied, text.bytes.size() - copied);
    if (const std::uint64_t stop = finder.finish(); stop != 0) return stop;
    return comparison.taken() == original.hashes.size() ? 0 : comparison.taken() + 1;
}

}  // namespace keston::check
