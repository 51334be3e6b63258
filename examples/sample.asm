; sample.asm - a small routine library in the style keston is used on
;
#include "defs.inc"

strlen:                         ; ds:si -> string, returns cx = length
	push	si
	xor	cx, cx
@@next:	lodsb
	or	al, al                  // end of string?
	jz	@@done
	inc	cx
	jmp	@@next
@@done:	pop	si
	ret

strchr:                         ; ds:si -> string, al = char to find
	mov	ah, al
@@next:	lodsb
	cmp	al, ah
	je	@@found
	cmp	al, ';'                 ; a semicolon constant is not a comment
	or	al, al
	jnz	@@next
	xor	si, si
	ret
@@found:
	dec	si
	ret

message	db	"Result; see table", 0  ; quoted text keeps its semicolon
