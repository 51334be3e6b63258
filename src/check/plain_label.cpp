#include "check/plain_label.h"

#include <string_view>

#include "check/name_syntax.h"
#include "common/globals.h"

namespace keston::check {

namespace {

// The x86 and x87 mnemonics and prefixes, each between blanks. A word not
// among them (a directive, a macro's name, an instruction of a later set)
// keeps its line from being taken for a plain label.
constexpr std::string_view INSTRUCTIONS =
    " aaa aad aam aas adc add and arpl bound bsf bsr bswap bt btc btr bts call cbw cdq clc cld cli clts cmc"
    " cmova cmovae cmovb cmovbe cmovc cmove cmovg cmovge cmovl cmovle cmovna cmovnae cmovnb cmovnbe cmovnc"
    " cmovne cmovng cmovnge cmovnl cmovnle cmovno cmovnp cmovns cmovnz cmovo cmovp cmovpe cmovpo cmovs cmovz"
    " cmp cmps cmpsb cmpsd cmpsw cmpxchg cmpxchg8b cpuid cwd cwde daa das dec div enter hlt idiv imul in inc"
    " ins insb insd insw int into invd invlpg iret iretd ja jae jb jbe jc jcxz je jecxz jg jge jl jle jmp jna"
    " jnae jnb jnbe jnc jne jng jnge jnl jnle jno jnp jns jnz jo jp jpe jpo js jz lahf lar lds lea leave les"
    " lfs lgdt lgs lidt lldt lmsw lock lods lodsb lodsd lodsw loop loopd loope looped loopne loopned loopnz"
    " loopnzd loopw loopz loopzd lsl lss ltr mov movs movsb movsd movsw movsx movzx mul neg nop not or out"
    " outs outsb outsd outsw pop popa popad popf popfd push pusha pushad pushf pushfd rcl rcr rdmsr rdpmc"
    " rdtsc rep repe repne repnz repz ret retf retn rol ror rsm sahf sal sar sbb scas scasb scasd scasw seta"
    " setae setb setbe setc sete setg setge setl setle setna setnae setnb setnbe setnc setne setng setnge"
    " setnl setnle setno setnp setns setnz seto setp setpe setpo sets setz sgdt shl shld shr shrd sidt sldt"
    " smsw stc std sti stos stosb stosd stosw str sub test ud2 verr verw wait wbinvd wrmsr xadd xchg xlat"
    " xlatb xor f2xm1 fabs fadd faddp fbld fbstp fchs fclex fcmovb fcmovbe fcmove fcmovnb fcmovnbe fcmovne"
    " fcmovnu fcmovu fcom fcomi fcomip fcomp fcompp fcos fdecstp fdisi fdiv fdivp fdivr fdivrp feni ffree"
    " fiadd ficom ficomp fidiv fidivr fild fimul fincstp finit fist fistp fisub fisubr fld fld1 fldcw fldenv"
    " fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnclex fndisi fneni fninit fnop fnsave fnstcw"
    " fnstenv fnstsw fpatan fprem fprem1 fptan frndint frstor fsave fscale fsetpm fsin fsincos fsqrt fst"
    " fstcw fstenv fstp fstsw fsub fsubp fsubr fsubrp ftst fucom fucomi fucomip fucomp fucompp fwait fxam"
    " fxch fxtract fyl2x fyl2xp1 ";

bool is_name_character(char c) {
    return is_identifier_character(static_cast<unsigned char>(c));
}

std::uint32_t word_end(const char* line, std::uint32_t at, std::uint32_t end) {
    while (at < end && is_name_character(line[at])) ++at;
    return at;
}

// Whether the word, which a blank or the code part's end follows, is the
// given one in any case.
bool is_keyword(const char* line, std::uint32_t at, std::uint32_t end, std::string_view word) {
    const std::uint32_t stop = word_end(line, at, end);
    if (stop - at != word.size() || (stop < end && !is_blank(line[stop]))) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (ascii_lower(line[at + i]) != word[i]) return false;
    }
    return true;
}

bool is_instruction(const char* line, std::uint32_t at, std::uint32_t end) {
    for (std::size_t from = 1; from < INSTRUCTIONS.size();) {
        const std::size_t to = INSTRUCTIONS.find(' ', from);
        if (is_keyword(line, at, end, INSTRUCTIONS.substr(from, to - from))) return true;
        from = to + 1;
    }
    return false;
}

bool is_plain_label(const char* line, std::uint32_t code_end) {
    const std::uint32_t label = plain_label_length(line);
    if (label == 0) return false;
    const std::uint32_t at = skip_blanks(line, label, code_end);
    return at == code_end || is_instruction(line, at, code_end);
}

// Where the word behind the one at 'at' begins, or end.
std::uint32_t next_word(const char* line, std::uint32_t at, std::uint32_t end) {
    while (at < end && !is_blank(line[at])) ++at;
    return skip_blanks(line, at, end);
}

}  // namespace

std::uint32_t plain_label_length(const char* line) {
    if (begins_no_identifier(line[0])) return 0;
    std::uint32_t at = 0;
    while (is_name_character(line[at])) ++at;
    if (at == 0 || line[at] != ':') return 0;
    return line[at + 1] == ':' ? at + 2 : at + 1;
}

LineKind classify_line(const char* line, std::uint32_t first, std::uint32_t code_end) {
    if (first >= code_end) return LineKind::other;
    const std::uint32_t second = next_word(line, first, code_end);
    for (const std::uint32_t at : {first, second}) {
        if (is_keyword(line, at, code_end, "proc")) return LineKind::procedure_start;
        if (is_keyword(line, at, code_end, "endp")) return LineKind::procedure_end;
    }
    return first == 0 && is_plain_label(line, code_end) ? LineKind::plain_label : LineKind::other;
}

}  // namespace keston::check
