; unrle.s: expands a runsquash stream on the NES (ca65 syntax, plain 6502).
;
; The stream is what runsquash writes: two bytes of length (high byte first,
; the low 16 bits of the expanded size), then packets. A packet header h of
; 0-126 is followed by h+1 bytes copied as they are; a header of 129-254 is
; followed by one byte repeated 257-h times.
;
; Entries
;   unrle_ppu   writes every byte to the PPU data port $2007.
;               Before the call: rendering off (or the screen in vertical
;               blank with time to spare), PPUCTRL's increment mode set as
;               you want (+1 across for a name table), and the PPU address
;               already written to $2006, e.g. $20,$00 for name table 0.
;               The routine never touches $2000-$2006 itself.
;   unrle_ram   writes the bytes to RAM from the address in unrle_dst on.
;
; Calling (both entries)
;       lda #<title_rle         ; where the stream starts
;       sta unrle_src
;       lda #>title_rle
;       sta unrle_src+1
;       lda #<(title_rle_end - title_rle)   ; how many bytes it has
;       sta unrle_len
;       lda #>(title_rle_end - title_rle)
;       sta unrle_len+1
;       jsr unrle_ppu           ; or set unrle_dst and jsr unrle_ram
;       bcs broken              ; optional: carry set = stream damaged
;
;   The length is what makes the routine safe on any data: no byte at or
;   past unrle_src+unrle_len is ever read, and no more bytes are written than
;   the length header promises, whatever the stream holds.
;
; On return
;   carry clear  the header's count of bytes has been produced. Bytes left
;                over after the packets that were needed are not read, so
;                several streams can lie back to back: unrle_src and
;                unrle_len then describe the rest, ready for the next call.
;   carry set    the stream stopped short: it ended (or was shorter than its
;                two length bytes), or a packet would not fit in it whole, or
;                a header of 127, 128 or 255 turned up. Everything before
;                that point has been written; the bad packet is not expanded
;                at all. unrle_src/unrle_len point at the packet that stopped
;                it, and unrle_left holds how many bytes were never produced
;                (0 if even the length header was missing).
;   A, X and Y are changed; the decimal flag must be clear (it always is on
;   the NES's CPU, which has no decimal mode).
;
; Zero page: 11 bytes, placed by the linker in segment ZEROPAGE.
;   unrle_src   2  in: stream address          out: first unread byte
;   unrle_len   2  in: stream length in bytes  out: bytes not read
;   unrle_dst   2  in: destination (unrle_ram) out: just past the last byte
;                  written; unrle_ppu neither reads nor writes it
;   unrle_left  2  out: bytes promised but not produced (0 when carry clear)
;   plus 3 bytes of scratch (packet length, packet size, output mode).
;
; Size: 219 bytes of code in segment CODE, both entries together.
;
; Speed, in CPU cycles, as cc65's sim65 counts them:
;   per output byte     unrle_ppu   unrle_ram
;     literal packet       16          16     (+1 when the read crosses a page)
;     run packet            9          11
;   per packet          130-142     150-160   reading and checking the header
;   per call              99         103      the JSR and RTS included
; So whole streams cost, from JSR to RTS (scripts/decoder-cycles.sh):
;   the example title screen's name table, 960 bytes in 233: 18,950 to $2007
;   a 1024-byte table of nothing but literals:                17,617 to $2007
; give or take a few dozen, as the stream's place across page boundaries
; changes the reads that cross one.
; Many short packets cost the most: runs of 3 between single bytes take
; about 72 cycles a byte. Every case is far more than one vertical blank,
; so fill a name table with rendering off.

        .exportzp unrle_src, unrle_len, unrle_dst, unrle_left
        .export   unrle_ppu, unrle_ram

PPUDATA = $2007

.segment "ZEROPAGE"
; The four words stay together in this order: the test harness copies them
; in and out as one block.
unrle_src:  .res 2
unrle_len:  .res 2
unrle_dst:  .res 2
unrle_left: .res 2
count:      .res 1              ; bytes this packet produces, 1-128
size:       .res 1              ; bytes this packet occupies in the stream
mode:       .res 1              ; bit 7 set: output goes to RAM

.segment "CODE"

done:   clc
        rts
stop:   sec
        rts

unrle_ram:
        lda #$80
        .byte $2C               ; BIT abs: swallows the next lda #, one byte
                                ; shorter than a branch around it
unrle_ppu:
        lda #$00
        sta mode
        ldy #0
        sty unrle_left          ; a stream too short for its length header
        sty unrle_left+1        ; reports nothing owed
        lda unrle_len+1
        bne @length
        lda unrle_len
        cmp #2
        bcc stop
@length:
        lda (unrle_src),y
        sta unrle_left+1
        iny
        lda (unrle_src),y
        sta unrle_left
        lda #2
        sta size

; Steps over the length header or the packet just expanded, then takes the
; next packet.
advance:
        clc
        lda unrle_src
        adc size
        sta unrle_src
        bcc @src
        inc unrle_src+1
@src:   sec
        lda unrle_len
        sbc size
        sta unrle_len
        bcs @next
        dec unrle_len+1
@next:  lda unrle_left
        ora unrle_left+1
        beq done
        ldy #0
        lda unrle_len+1
        bne @header
        lda unrle_len
        beq stop                ; the stream ended before the count was met
@header:
        lda (unrle_src),y
        bmi @run
        cmp #127
        beq stop
        adc #1                  ; carry clear from the cmp: count = h + 1
        sta count
        adc #1                  ; size = h + 2, never 0
        bne @sized
@run:   cmp #129
        bcc stop                ; 128
        cmp #255
        beq stop
        eor #$FF                ; carry clear from the cmp: 255 - h + 2
        adc #2
        sta count
        lda #2
@sized: sta size
        ldx unrle_len+1         ; 256 bytes or more hold any packet
        bne @fits
        cmp unrle_len
        beq @fits
        bcs stop                ; the packet runs past the stream's end
@fits:  ldx unrle_left+1        ; never produce more than the header says
        bne @owed
        lda unrle_left
        cmp count
        bcs @owed
        sta count
@owed:  sec
        lda unrle_left
        sbc count
        sta unrle_left
        bcs @out
        dec unrle_left+1
@out:   ldx count
        bit mode
        bmi ram_out

; Output loops. Each is entered with X = count and Y = 0, the header at
; (unrle_src),0.
ppu_out:
        lda (unrle_src),y       ; the header again
        bmi @run
        iny
@lit:   lda (unrle_src),y
        sta PPUDATA
        iny
        dex
        bne @lit
        jmp advance
@run:   iny
        lda (unrle_src),y
@fill:  sta PPUDATA
        dex
        bne @fill
        jmp advance

ram_out:
        lda (unrle_src),y       ; the header again
        bmi @run
        ldy count               ; copy backwards: the data starts one byte
@lit:   lda (unrle_src),y       ; after the header, so source index Y goes
        dey                     ; with destination index Y-1
        sta (unrle_dst),y
        bne @lit
        beq @moved
@run:   iny
        lda (unrle_src),y
        ldy count
@fill:  dey
        sta (unrle_dst),y
        bne @fill
@moved: clc
        lda unrle_dst
        adc count
        sta unrle_dst
        bcc @on
        inc unrle_dst+1
@on:    jmp advance
