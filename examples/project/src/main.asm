; main.asm: a flat binary that doubles a number three times, saturating,
; with its helper from util.inc. The @@ names are numbered apart by keston.

	org	100h

start:
	mov	ax, 1
	mov	cx, 3
@@again:
	call	twice
	loop	@@again
	jmp	@@done

	%include "util.inc"	; made beside build/main.asm by keston-map -b

@@done:
	ret
