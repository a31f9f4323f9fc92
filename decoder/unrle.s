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
; Zero page: 14 bytes, placed by the linker in segment ZEROPAGE.
;   unrle_src   2  in: stream address          out: first unread byte
;   unrle_len   2  in: stream length in bytes  out: bytes not read
;   unrle_dst   2  in: destination (unrle_ram) out: just past the last byte
;                  written; unrle_ppu neither reads nor writes it
;   unrle_left  2  out: bytes promised but not produced (0 when carry clear)
;   plus 6 bytes of scratch. During the call the four words hold other
;   forms of the same values (see "The loops' state" below).
;
; Size: 631 bytes of code in segment CODE, both entries together.
;
; Speed, in CPU cycles, as cc65's sim65 counts them:
;   per output byte     unrle_ppu   unrle_ram
;     literal packet       16          16
;     run packet            9          11
;   per packet             43          66     reading and checking the header
;   per page of stream  about 100 more        the packet that reaches into the
;                                             next page goes through the
;                                             careful code
;   per call            about 320     340    the JSR and RTS, setting up, and
;                                             the last packet, which goes
;                                             through the careful code too
; So whole streams cost, from JSR to RTS (scripts/decoder-cycles.sh):
;                                                      unrle_ppu     unrle_ram
;   the example title screen's name table, 960 bytes  12,900-13,800 16,200-17,100
;   1024 bytes of runs of 3 between single bytes      33,800-34,400 46,800-47,500
;   1024 bytes of nothing but literals                17,500-18,100 17,700-18,300
; The ranges come from where the code lies (see Placement); docs/NES.md has
; the exact figures and those of the routine this one replaced, which took
; 18,950, 73,850 and 17,617 cycles where the test harness had it.
;
; Placement: nothing here asks the linker for alignment, so any
; configuration with a CODE and a ZEROPAGE segment links it as it is. The
; cost is that a branch taken across a page boundary takes one cycle more:
; when a page boundary falls inside one of the byte loops, each byte of that
; kind costs one more, and when it falls between a packet's branches, the
; packet does. Over every start address, the figures above move by at most
; about 6% (scripts/decoder-cycles.sh --placements measures the range).
; Reads of the stream never cross a page in the loops; only the packet that
; reaches into the next page reads across it, one cycle for each of its
; bytes past the boundary.

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
here:       .res 2              ; the header in hand, for reading from it
reach:      .res 1              ; see "The loops' state" below
count:      .res 1              ; bytes a packet produces, 1-128 (minus 1 in
                                ; unrle_ram's runs)
size:       .res 1              ; bytes it takes in the stream, 2-128 (in
                                ; unrle_ram's loop: the next header's offset)
mode:       .res 1              ; bit 7: output to RAM; bit 6: count met

.segment "CODE"

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
        bcc short
@length:
        lda (unrle_src),y
        sta unrle_left+1
        iny
        lda (unrle_src),y
        sta unrle_left
        clc                     ; step over the length header
        lda unrle_src
        adc #2
        sta unrle_src
        bcc @src
        inc unrle_src+1
@src:   sec
        lda unrle_len
        sbc #2
        sta unrle_len
        bcs @owed
        dec unrle_len+1
@owed:  lda unrle_left
        ora unrle_left+1
        bne @some
        clc                     ; nothing owed: the packets stay unread
        rts
@some:  lda unrle_len
        ora unrle_len+1
        bne setup
short:  sec                     ; the stream ended before the count was met
        rts

; The loops' state, kept for the page that the next header lies in:
;   unrle_src   that page, low byte 0: no read in the loops crosses a page
;   Y           the header's offset in the page
;   unrle_len   bytes of the stream past the end of the page: a 16-bit
;               value that is below zero in the stream's last page, where
;               its low byte is the number of stream bytes in the page
;   reach       min(254, bytes of the stream from the page's start - 2),
;               at least 0: the loops take a packet only when the header
;               after it lies at reach + 1 or below, so never at or past
;               the end of the page or of the stream
;   unrle_left  bytes still owed minus 1, its high byte inverted: the
;               packet that meets the count is the one whose borrow makes
;               that byte roll over from $FF to 0
; Packets that do not fit the loops, that meet the count or that are
; damaged go to the edge code, which turns the state back into the plain
; values at the end.
setup:  ldy unrle_src
        lda #0
        sta unrle_src
        lda unrle_src+1
        sta here+1
        tya                     ; bytes from the page's start, 17 bits
        clc
        adc unrle_len
        sta unrle_len
        lda unrle_len+1
        adc #0
        tax
        dex                     ; minus the page; the carry is bit 16
        stx unrle_len+1
        bcs @whole
        inx
        bne @whole
        lda unrle_len           ; fewer than 256: this is the last page
        sbc #1                  ; carry clear: - 2
        bcs @reach
        lda #0
        beq @reach
@whole: lda #254
@reach: sta reach
        lda unrle_left
        bne @left
        dec unrle_left+1
@left:  dec unrle_left
        lda unrle_left+1
        eor #$FF
        sta unrle_left+1
        bit mode
        bmi ram_next

; unrle_ppu's loop.
ppu_next:
        lda (unrle_src),y
        bmi ppu_run
        cmp #127                ; literal: h + 1 bytes follow
        beq to_edge
        sty here                ; carry clear from the cmp
        tax
        adc here
        bcs to_lit_edge         ; it reaches into the next page
        cmp reach
        bcs to_lit_edge         ; no header after it in this page's stream
        txa
        eor #$FF                ; 256 - count; carry clear from the cmp
        adc unrle_left
        bcc @lborrow
@lsave: sta unrle_left
        inx
@lit:   iny
        lda (unrle_src),y
        sta PPUDATA
        dex
        bne @lit
        iny
        jmp ppu_next
@lborrow:
        inc unrle_left+1
        bne @lsave
        dec unrle_left+1        ; the packet meets the count
        bne to_edge             ; always: the byte is back to $FF

ppu_run:                        ; run: 257 - h copies of the next byte
        cpy reach
        bcs to_edge
        sbc #128                ; carry clear from the cpy: h - 129
        cmp #126
        bcs to_edge             ; 128 and 255
        eor #$80                ; h - 1: X counts up from it to 0
        tax
        adc unrle_left          ; carry clear from the cmp
        bcc @rborrow
@rsave: sta unrle_left
        iny
        lda (unrle_src),y
@fill:  sta PPUDATA
        inx
        bne @fill
        iny
        jmp ppu_next
@rborrow:
        inc unrle_left+1
        bne @rsave
        dec unrle_left+1
to_edge:
        jmp edge
to_lit_edge:
        jmp lit_edge

; unrle_ram's loop, with the same checks.
ram_next:
        lda (unrle_src),y
        bmi ram_run
        cmp #127
        beq to_edge
        sty here
        tax
        adc here
        bcs to_lit_edge
        cmp reach
        bcs to_lit_edge
        adc #2                  ; the next header; carry clear
        sta size
        txa
        eor #$FF
        adc unrle_left
        bcc @lborrow
@lsave: sta unrle_left          ; carry set
        txa
        tay
        iny
@lit:   lda (here),y            ; copy backwards: source index Y goes with
        dey                     ; destination index Y-1
        sta (unrle_dst),y
        bne @lit
        txa                     ; count - 1, plus the carry
        adc unrle_dst
        sta unrle_dst
        bcc @lon
        inc unrle_dst+1
@lon:   ldy size
        jmp ram_next
@lborrow:
        sec
        inc unrle_left+1
        bne @lsave
        dec unrle_left+1
        bne to_edge

ram_run:
        cpy reach
        bcs to_edge
        sbc #128
        cmp #126
        bcs to_edge
        eor #$7F                ; 256 - h: count - 1
        sta count
        eor #$FF                ; 256 - count
        adc unrle_left
        bcc @rborrow
@rsave: sta unrle_left          ; carry set
        iny
        lda (unrle_src),y
        sty size
        ldy count
@fill:  sta (unrle_dst),y
        dey
        bpl @fill
        lda count               ; count - 1, plus the carry
        adc unrle_dst
        sta unrle_dst
        bcc @ron
        inc unrle_dst+1
@ron:   ldy size
        iny
        jmp ram_next
@rborrow:
        sec
        inc unrle_left+1
        bne @rsave
        dec unrle_left+1
        jmp edge

; The edge code: one packet, with every check, wherever it lies. It takes
; the packets that reach into the next page (about one per page), the one
; that meets the count, those near the stream's end, and damaged ones.
edge:   sty here
        lda (unrle_src),y
        bmi @run
        cmp #127
        beq @broken
        tax
        inx                     ; count = h + 1
        adc #2                  ; size = h + 2; carry clear from the cmp
        bne sized               ; always
@run:   cmp #129
        bcc @broken             ; 128
        cmp #255
        beq @broken
        eor #$FF                ; carry clear from the cmp: 255 - h + 2
        adc #2
        tax
        lda #2
        bne sized               ; always
@broken:
        jmp broken

; A literal the loops could not take: X = h, here at the header, carry set.
lit_edge:
        txa
        adc #1                  ; size = h + 2
        inx                     ; count = h + 1
sized:  sta size
        stx count
        lda reach               ; does the stream hold the whole packet?
        cmp #254
        bne @lastpage
        lda unrle_len+1
        bne @fits               ; a page or more follows this one
        tya
        clc
        adc size
        bcc @fits               ; it ends in this page
        cmp unrle_len           ; where it ends in the next, the last page
        beq @fits
        bcc @fits
@broken:
        jmp broken
@lastpage:
        tya
        clc
        adc size
        bcs @broken
        cmp unrle_len           ; the stream's bytes in this page
        beq @fits
        bcs @broken
@fits:  lda unrle_left
        sec
        sbc count
        bcs @keep
        inc unrle_left+1
        bne @keep
        dec unrle_left+1        ; the count is met in this packet: only
        ldx unrle_left          ; the bytes still owed
        inx
        stx count
        lda mode
        ora #$40                ; bit 6
        sta mode
        bne @out                ; always
@keep:  sta unrle_left
@out:   ldy #0
        ldx count
        bit mode
        bmi @ram
        lda (here),y
        bmi @prun
@plit:  iny
        lda (here),y
        sta PPUDATA
        dex
        bne @plit
        beq @tail
@prun:  iny
        lda (here),y
@pfill: sta PPUDATA
        dex
        bne @pfill
        beq @tail
@ram:   lda (here),y
        bmi @rrun
        ldy count
@rlit:  lda (here),y
        dey
        sta (unrle_dst),y
        bne @rlit
        beq @moved
@rrun:  iny
        lda (here),y
        ldy count
@rfill: dey
        sta (unrle_dst),y
        bne @rfill
@moved: clc
        lda unrle_dst
        adc count
        sta unrle_dst
        bcc @tail
        inc unrle_dst+1
@tail:  clc                     ; the next header
        lda here
        adc size
        tay
        bcc @same
        inc unrle_src+1         ; it lies in the next page
        inc here+1
        lda unrle_len+1
        beq @last               ; which is the stream's last
        dec unrle_len+1         ; which is whole: reach stays 254
@go:    bit mode
        bvs finished
        bmi @ramgo
        jmp ppu_next
@ramgo: jmp ram_next
@last:  dec unrle_len+1
        lda unrle_len           ; its bytes - 2, at least 0
        sbc #2                  ; (carry set)
        bcs @reach
        lda #0
@reach: sta reach
@same:  bit mode
        bvs finished
        lda reach
        cmp #254
        beq @go                 ; a whole page: the header is in the stream
        cpy unrle_len
        bcc @go
        jmp broken              ; the stream ends before it

; Back to the plain values: unrle_src at offset Y of its page, unrle_len
; what the stream holds from there.
plain:  sty unrle_src
        tya
        eor #$FF                ; 256 - Y with the carry
        sec
        adc unrle_len
        sta unrle_len
        bcc @len
        inc unrle_len+1
@len:   rts

finished:
        jsr plain
        lda #0
        sta unrle_left
        sta unrle_left+1
        clc
        rts

broken: jsr plain               ; the packet at Y is damaged or not all there
        lda unrle_left+1
        eor #$FF
        sta unrle_left+1
        inc unrle_left
        bne @owed
        inc unrle_left+1
@owed:  sec
        rts
