// References in an assembler's message line: a destination's name followed
// by a line number in one of the forms assemblers print.
#pragma once

#include <cstdint>

#include "map/pairs.h"

namespace keston::map {

// A reference in one of the forms NAME(N) (MASM-style assemblers, Watcom, the
// DOS assemblers), NAME:N and NAME:N:C (nasm, yasm, GNU as, clang) or
// NAME [N] (fasm, which prints the message on the lines after it).
struct Reference {
    Pair* pair;
    std::uint32_t name_start;
    std::uint32_t name_end;
    std::uint32_t number_start;
    std::uint32_t number_end;
    std::uint64_t number;  // the destination's line; UINT64_MAX when it does not fit
    bool fasm_form;
};

// Finds the references of one line in order. The names are compared with
// the pairs' destinations; whether a pair is mapped is left to the caller.
class ReferenceScanner {
   public:
    ReferenceScanner(const char* line, std::uint32_t length) : line_(line), length_(length) {}

    // The next reference; false when there is none.
    bool next(Reference* reference);

    // The pair whose destination the name that ends at 'end' names, as the
    // name of a reference there would (a macro line names its file in
    // brackets); null for none. No reference is looked for before it.
    Pair* pair_named_before(std::uint32_t end);

   private:
    void pass(char c);
    std::uint32_t read_form(std::uint32_t at, Reference* reference) const;
    Pair* find_pair(std::uint32_t name_end, std::uint32_t* name_start) const;

    const char* line_;
    std::uint32_t length_;
    std::uint32_t at_ = 0;
    std::uint32_t previous_end_ = 0;     // behind the last reference found: no name begins before it
    std::uint32_t token_start_ = 0;      // behind the last byte that may come before a name, if any
    std::uint32_t component_start_ = 0;  // behind the last separator of the token
};

}  // namespace keston::map
