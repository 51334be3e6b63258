// A source file as its bytes, for -x: read whole, walked line by line as
// keston reads it, and run through keston's chain as a trial.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace keston::check {

struct SourceText {
    std::string bytes;
};

// The file's bytes. 0, or -1 when it could not be read.
int read_source_text(const char* name, SourceText* text);

// A source's lines in order, as keston cuts them: every LF ends one, and
// what follows the last LF is a line when it holds more than CR bytes. No
// table of lines is kept, since a source may hold millions of them.
class LineReader {
   public:
    explicit LineReader(const std::string& bytes) : bytes_(bytes) {}

    // Moves to the next line; false after the last one.
    bool next();

    // The current line as keston stores it, CR bytes left out, into line
    // (LINE_BUFFER_SIZE bytes), with the offset in the bytes of each stored
    // byte in positions unless that is null. The count of stored bytes, NULs
    // included; at TS_LINE_LIMIT, where keston stops reading, copying stops.
    std::uint32_t store(char* line, std::size_t* positions) const;

    std::size_t start() const { return start_; }      // of the current line in the bytes
    std::uint64_t number() const { return number_; }  // of the current line, from 1

   private:
    const std::string& bytes_;
    std::size_t start_ = 0;
    std::size_t end_ = 0;  // at its LF or the end of the bytes
    std::uint64_t number_ = 0;
};

// The line that begins at start in bytes, stored as LineReader::store does.
std::uint32_t store_line_at(const std::string& bytes, std::size_t start, char* line, std::size_t* positions);

// The bytes of the stored line that keston's chain sees: those before its first NUL.
std::uint32_t chain_length(const char* line, std::uint32_t stored);

// Told of each line that keston's chain has run through, its result in
// current_line(); false stops the run at that line.
class LineObserver {
   public:
    virtual bool take_line(std::uint64_t number) = 0;

   protected:
    ~LineObserver() = default;
};

// keston's chain, with the switches given, fed a source's bytes piece by
// piece and without a message, so that a rewritten source can be tried while
// it is made, without being held. One at a time: it owns keston's line and
// label state.
class StopFinder {
   public:
    explicit StopFinder(LineObserver* observer = nullptr);
    StopFinder(const StopFinder&) = delete;
    StopFinder& operator=(const StopFinder&) = delete;
    ~StopFinder();

    void feed(const char* bytes, std::size_t length);

    // 0 when the chain ran through every line, else the number of the line
    // it stops at, or that the observer stopped it at.
    std::uint64_t finish();

   private:
    void end_line();

    LineObserver* observer_;

    std::uint32_t stored_ = 0;  // of the line being fed
    std::uint64_t number_ = 0;  // of the last line run through the chain
    std::uint64_t stop_ = 0;
};

// The line where keston's chain stops on the whole of bytes, or 0.
std::uint64_t find_stop_line(const std::string& bytes);

}  // namespace keston::check
