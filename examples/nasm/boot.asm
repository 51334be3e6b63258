; boot.asm - a boot sector that prints a banner and halts.
;   nasm -f bin -o boot.img boot.asm    // 512 bytes, signature at the end

	bits	16
	org	0x7c00

start:	cli
	xor	ax, ax                  ; all segments at zero
	mov	ds, ax
	mov	es, ax
	mov	ss, ax
	mov	sp, 0x7c00              ; the stack grows down below the code
	sti
	mov	si, banner
	call	print
.halt:	hlt
	jmp	.halt

; print: ds:si -> NUL-terminated string, through the video BIOS
print:	mov	ah, 0x0e                ; teletype output
	mov	bx, 0x0007              ; page 0, light grey on black
.next:	lodsb
	test	al, al
	jz	.done
	int	0x10
	jmp	.next
.done:	ret

banner	db	"Booting...   please wait", 13, 10
	db	'Press any key to stop', 13, 10, 0

	times	510 - ($ - $$) db 0     ; pad up to the signature
	dw	0xaa55
