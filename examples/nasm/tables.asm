; tables.asm - lookup tables and messages of a keyboard driver.
; A table ends with 0 or has its length in front // see keyboard.asm

%define KEY_ESC         0x01
%define KEY_ENTER       0x1c

struc key
	.code:	resb	1
	.ascii:	resb	1
endstruc

scan_codes:
	db	0, KEY_ESC, '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '-', '=', 8, 9, 'q', 'w', 'e', 'r', 't', 'y', 'u', 'i', 'o', 'p', '[', ']', KEY_ENTER, 0, 'a', 's', 'd', 'f'
scan_count	equ	$ - scan_codes

hex_digits	db	"0123456789ABCDEF"
powers		dw	1, 10, 100, 1000, \
			10000           ; the last power of ten in a word
	
escape_key:
	istruc key
	    at key.code,    db KEY_ESC
	    at key.ascii,   db 27
	iend

messages:
.title		db	"Key    Code    ASCII", 0       ; column headings
.prompt		db	'Press a key: ', 0
.bad		db	"Unknown key; try again", 0
message_size	equ	$ - messages
		dw	scan_count, message_size
