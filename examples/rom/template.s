; template.s: the smallest NES program that shows one full background screen.
; An NROM-128 cartridge (mapper 0): 16 KiB of program at $C000, 8 KiB of
; CHR-ROM. Copy it as the start of a game and grow it from main_loop on.
;
; It needs three files, found through ca65's --bin-include-dir:
;   out.chr     256 tiles (4096 bytes), tilefold's output: pattern table 0
;   screen.rlz  name table and attribute table (1024 bytes) packed by runsquash
;   screen.pal  16 bytes, NES colour numbers for $3F00-$3F0F
; and decoder/unrle.s, assembled as a module of its own and linked in.
;
;   ca65 --bin-include-dir DIR -o template.o template.s
;   ca65 -o unrle.o unrle.s
;   ld65 -C nrom128.cfg -o screen.nes template.o unrle.o

        .importzp unrle_src, unrle_len
        .import   unrle_ppu

PPUCTRL   = $2000
PPUMASK   = $2001
PPUSTATUS = $2002
PPUSCROLL = $2005
PPUADDR   = $2006
PPUDATA   = $2007
DMC_FREQ  = $4010
APU_FRAME = $4017

; PPUMASK: background on, and shown in the leftmost 8 pixels. Bit 2 (sprites
; in the leftmost 8 pixels) is set too although sprites are off: some
; emulators, jsnes among them, blank the left column unless both bits are set.
MASK_SHOW  = %00001110
MASK_TINT  = %00101110          ; the same, red emphasis: the screen was damaged
CTRL_NMI   = %10000000          ; NMI at each vertical blank, name table $2000,
                                ; +1 across, background from pattern table 0

.segment "HEADER"
        .byte "NES", $1A
        .byte 1                 ; 16 KiB of program ROM
        .byte 1                 ; 8 KiB of CHR-ROM
        .byte $01               ; mapper 0, vertical mirroring
        .byte $00
        .res 8, 0

.segment "ZEROPAGE"
frames: .res 1                  ; counts vertical blanks; the game's clock

.segment "RODATA"
palette:
        .incbin "screen.pal", 0, 16
screen:
        .incbin "screen.rlz"
screen_end:

.segment "CHARS"
        .incbin "out.chr", 0, 4096 ; pattern table 0; ld65 pads table 1

.segment "CODE"

reset:
        sei                     ; no IRQs: the program does not expect any
        cld                     ; the NES's CPU has no decimal mode; be tidy
        ldx #$40
        stx APU_FRAME           ; no APU frame IRQ
        ldx #$FF
        txs
        inx                     ; X = 0
        stx PPUCTRL             ; no NMI yet
        stx PPUMASK             ; rendering off
        stx DMC_FREQ            ; no DMC IRQ

        ; The PPU ignores writes for about 30,000 cycles after power-on: wait
        ; for two vertical blanks before touching it. The first read clears a
        ; flag that may be left set from power-on.
        bit PPUSTATUS
@vblank1:
        bit PPUSTATUS
        bpl @vblank1
        ; A game clears its RAM here.
@vblank2:
        bit PPUSTATUS
        bpl @vblank2

        ; Rendering is off, so the PPU can be written at any time.
        lda #$3F
        sta PPUADDR
        lda #$00
        sta PPUADDR
        ldx #0
@palette:
        lda palette,x
        sta PPUDATA
        inx
        cpx #16
        bne @palette

        ; Name table 0 and its attribute table, $2000-$23FF, in one stream.
        lda #$20
        sta PPUADDR
        lda #$00
        sta PPUADDR
        lda #<screen
        sta unrle_src
        lda #>screen
        sta unrle_src+1
        lda #<(screen_end - screen)
        sta unrle_len
        lda #>(screen_end - screen)
        sta unrle_len+1
        jsr unrle_ppu
        ldx #MASK_SHOW
        bcc @good
        ldx #MASK_TINT          ; carry set: the stream was damaged or cut short
@good:

        ; Scroll and rendering change only in vertical blank, so the first
        ; frame drawn is already whole. Writing PPUCTRL and then PPUSCROLL
        ; twice undoes what the PPUADDR writes did to the scroll.
        bit PPUSTATUS
@vblank3:
        bit PPUSTATUS
        bpl @vblank3
        lda #CTRL_NMI
        sta PPUCTRL
        lda #0
        sta PPUSCROLL           ; x
        sta PPUSCROLL           ; y
        stx PPUMASK

main_loop:
        ; The game's work goes here; wait for `frames` to change to run once
        ; per frame. Only the NMI handler may write the PPU from now on, and
        ; it must end with PPUCTRL and PPUSCROLL written as above.
        jmp main_loop

nmi:
        inc frames
        rti

irq:
        rti

.segment "VECTORS"
        .addr nmi, reset, irq
