; strings.asm - string routines of a small DOS program (nasm -f bin, .COM).
; Each procedure reuses the local names @@next and @@done, so nasm refuses
; this file as it stands; keston -l@@ numbers them apart:
;   keston -a -c -t -l@@ -e strings.asm out.asm && nasm -f bin -o strings.com out.asm

	bits	16
	org	0x100

CR      equ     13
LF      equ     10

start:	mov	si, greeting            ; print the greeting // then its length
	call	puts
	mov	si, greeting
	call	strlen
	mov	ax, 0x4c00              ; back to DOS with status 0
	int	0x21

; strlen: ds:si -> string; returns cx = length, si kept
strlen:	push	si
	xor	cx, cx
@@next:	lodsb
	or	al, al                  ; end of string?
	jz	@@done
	inc	cx
	jmp	@@next
@@done:	pop	si
	ret

; strchr: ds:si -> string, ah = character; returns si -> match, or si = 0
strchr:
@@next:	lodsb
	cmp	al, ah
	je	@@found
	cmp	al, ';'                 ; a semicolon ends the field // as NUL does
	je	@@none
	or	al, al
	jnz	@@next
@@none:	xor	si, si
	ret
@@found:
	dec	si
	ret

; puts: ds:si -> string; writes it character by character
puts:	cld
@@next:	lodsb
	or	al, al
	jz	@@done
	mov	dl, al
	mov	ah, 2                   ; DOS: write character
	int	0x21
	jmp	short @@next
@@done:	ret

greeting	db	"Hello;   world", CR, LF, 0
fields		db	"name;size;date", 0
