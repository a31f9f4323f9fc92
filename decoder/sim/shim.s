; Calls the decoder for the C harness. Every entry, the empty one included, is
; reached through the same indirect jump, so two runs that differ only in the
; entry differ in sim65's cycle count by exactly the decoder's own cycles.

        .importzp unrle_src, unrle_len, unrle_dst, unrle_left
        .import   unrle_ppu, unrle_ram
        .export   _sim_src, _sim_len, _sim_dst, _sim_left, _sim_expand, _sim_ppu

.segment "BSS"
_sim_src:  .res 2
_sim_len:  .res 2
_sim_dst:  .res 2
_sim_left: .res 2
vector:    .res 2

; The PPU's registers sit inside the simulator's plain RAM: keep the harness's
; own code and data away from them, or the $2007 entry would write over it.
.segment "PPUREGS"
_sim_ppu:
        .res 8

.segment "RODATA"
entries:
        .addr nothing, unrle_ppu, unrle_ram

.segment "CODE"

; unsigned char __fastcall__ sim_expand(unsigned char entry)
; entry 0: no decoder, 1: unrle_ppu, 2: unrle_ram. Returns the carry the
; decoder left (1: stopped short).
_sim_expand:
        asl a
        tax
        lda entries,x
        sta vector
        lda entries+1,x
        sta vector+1
        ldx #7
@in:    lda _sim_src,x
        sta unrle_src,x
        dex
        bpl @in
        jsr call
        php
        ldx #7
@out:   lda unrle_src,x
        sta _sim_src,x
        dex
        bpl @out
        pla
        and #$01
        ldx #0
        rts

call:   jmp (vector)
nothing:
        rts
