; Stand-in for a medium's BIOS boot manager: proves that the boot chain
; (El Torito or MBR loader -> NT-style load of \bootmgr) reached it. The
; loader puts the whole file at 2000:0000 and passes the boot drive in DL.
; It prints one line with DL to COM1 and ends QEMU through the debug-exit
; port 0xF4. The file is padded past 64 KiB and ends in a marker that is
; checked first, so a loader that stops after the first 64 KiB (or any
; partial load) prints a failure line instead.
bits 16
org 0
start:
    cli
    mov ax, cs
    mov ds, ax
    mov ax, 0x1000
    mov ss, ax
    mov sp, 0xfff0
    sti
    mov [drive], dl
    ; COM1: 115200 8N1
    mov dx, 0x3f9
    xor al, al
    out dx, al
    mov dx, 0x3fb
    mov al, 0x80
    out dx, al
    mov dx, 0x3f8
    mov al, 1
    out dx, al
    mov dx, 0x3f9
    xor al, al
    out dx, al
    mov dx, 0x3fb
    mov al, 3
    out dx, al
    ; the end marker lies past the first 64 KiB: segment 0x3000
    mov ax, cs
    add ax, 0x1000
    mov es, ax
    mov si, expect
    xor di, di
    mov cx, endmark_len
    repe cmpsb
    jne partial
    mov si, okmsg
    call puts
    mov al, [drive]
    shr al, 4
    call puthex
    mov al, [drive]
    call puthex
    mov si, crlf
    call puts
    mov al, 0x10
    jmp quit
partial:
    mov si, badmsg
    call puts
    mov al, 0x20
quit:
    out 0xf4, al
    cli
.h: hlt
    jmp .h
puthex:
    and al, 0x0f
    add al, '0'
    cmp al, '9'
    jbe .d
    add al, 7
.d: call putc
    ret
puts:
    lodsb
    test al, al
    jz .e
    call putc
    jmp puts
.e: ret
putc:
    push dx
    push ax
    mov dx, 0x3fd
.w: in al, dx
    test al, 0x20
    jz .w
    pop ax
    mov dx, 0x3f8
    out dx, al
    pop dx
    ret
drive: db 0
okmsg: db 13, 10, 'KX stand-in bootmgr reached (BIOS) DL=0x', 0
badmsg: db 13, 10, 'KX stand-in bootmgr: partial load', 13, 10, 0
crlf: db 13, 10, 0
expect: db 'KX-BOOTMGR-END', 0
    times 0x10000 - ($ - $$) db 0
endmark: db 'KX-BOOTMGR-END', 0
endmark_len equ $ - endmark
