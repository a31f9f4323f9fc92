/* Runs the decoder on one stream inside sim65, for the tests and for the
   cycle count script.

     unrle-sim MODE STREAM [OFFSET]

   MODE r   runs unrle_ram and writes the bytes it produced to standard output.
        p   runs unrle_ppu. The port is a plain memory cell here, so all
            that shows of the bytes is the last one written, which goes to
            standard output; $2000-$2006 must stay untouched.
        tr, tp, tn
            timing runs of unrle_ram, unrle_ppu or of no decoder at all: no
            checks and no output, so that sim65 -c of a tr or tp run minus
            that of the tn run on the same stream is the decoder's own cost.

   OFFSET (0-255, default 0) puts the stream that many bytes further into
   its buffer, so that its packets can be tried at every place in a page.

   After r or p, standard error gets one line,
     complete|stopped produced N of M, read K of L
   and the exit status is 0 when the decoder met the length header's count,
   2 when it stopped short, 1 when it broke a promise (wrote outside its
   output, read past the stream, miscounted) and 3 on bad use. */

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define STREAM_MAX 4096u
#define OUT_MAX 8192u
#define PAD 32u
#define FILL 0xA5u

extern unsigned char* sim_src;
extern unsigned sim_len;
extern unsigned char* sim_dst;
extern unsigned sim_left;
extern unsigned char sim_ppu[8]; /* $2000-$2007 */
unsigned char __fastcall__ sim_expand(unsigned char entry);

/* Past the stream's end lie one-byte literal packets: a decoder that read
   on would produce bytes the host test does not expect. */
static unsigned char stream[255 + STREAM_MAX + PAD];
static unsigned char out[PAD + OUT_MAX + PAD];

static void say(const char* text) {
    write(2, text, strlen(text));
}

static void say_number(unsigned n) {
    char digits[6];
    say(utoa(n, digits, 10));
}

static int fault(const char* why) {
    say("fault: ");
    say(why);
    say("\n");
    return 1;
}

static int usage(void) {
    say("syntax: unrle-sim r|p|tr|tp|tn stream [offset]\n");
    return 3;
}

int main(int argc, char* argv[]) {
    static const char entry_names[] = "npr"; /* the shim's entry numbers */
    const char* mode;
    unsigned char timing, entry, stopped, ram;
    int fd, got;
    unsigned len, count, produced, i, offset;
    unsigned char* start;

    if (argc != 3 && argc != 4) {
        return usage();
    }
    offset = argc == 4 ? (unsigned)atoi(argv[3]) : 0;
    if (offset > 255) {
        return usage();
    }
    start = stream + offset;
    mode = argv[1];
    timing = mode[0] == 't';
    /* n, p and r are two letters apart: the entry is found the same way,
       branch for branch, whichever it is, so timing runs stay comparable. */
    entry = (unsigned char)(mode[timing] - 'n') >> 1;
    if (entry > 2 || entry_names[entry] != mode[timing] || mode[timing + 1] != '\0' ||
        (!timing && entry == 0)) {
        return usage();
    }

    fd = open(argv[2], O_RDONLY);
    if (fd < 0) {
        say("unrle-sim: cannot open the stream\n");
        return 3;
    }
    got = read(fd, start, STREAM_MAX + 1);
    close(fd);
    if (got < 0 || (unsigned)got > STREAM_MAX) {
        say("unrle-sim: the stream is unreadable or longer than 4096 bytes\n");
        return 3;
    }
    len = (unsigned)got;
    for (i = offset + len; i < sizeof stream; ++i) {
        stream[i] = (i - offset - len) & 1 ? 0xEE : 0x00;
    }
    count = len >= 2 ? (unsigned)start[0] << 8 | start[1] : 0;
    /* A packet of two stream bytes yields at most 128 output bytes. */
    if (count > OUT_MAX && (unsigned long)(len - 2) * 64 > OUT_MAX) {
        say("unrle-sim: the stream may expand to more than 8192 bytes\n");
        return 3;
    }
    memset(out, FILL, sizeof out);
    memset(sim_ppu, FILL, sizeof sim_ppu);

    sim_src = start;
    sim_len = len;
    sim_dst = out + PAD;
    stopped = sim_expand(entry);
    if (timing) {
        return 0;
    }

    ram = entry == 2;
    if (sim_left > count) {
        return fault("more bytes owed than the header promised");
    }
    produced = count - sim_left;
    if (!stopped && sim_left != 0) {
        return fault("carry clear but bytes still owed");
    }
    if (sim_len > len || sim_src != start + (len - sim_len)) {
        return fault("stream pointer and length disagree");
    }
    if (sim_dst != out + PAD + (ram ? produced : 0)) {
        return fault("destination pointer does not match the bytes produced");
    }
    for (i = 0; i < sizeof out; ++i) {
        if (i == PAD && ram) {
            i += produced;
        }
        if (i < sizeof out && out[i] != FILL) {
            return fault("wrote outside the bytes it produced");
        }
    }
    for (i = 0; i < 7; ++i) {
        if (sim_ppu[i] != FILL) {
            return fault("wrote to a PPU register other than $2007");
        }
    }
    if (!ram && produced != 0 && write(1, sim_ppu + 7, 1) != 1) {
        say("unrle-sim: cannot write the output\n");
        return 3;
    }
    if (ram && write(1, out + PAD, produced) != (int)produced) {
        say("unrle-sim: cannot write the output\n");
        return 3;
    }

    say(stopped ? "stopped" : "complete");
    say(" produced ");
    say_number(produced);
    say(" of ");
    say_number(count);
    say(", read ");
    say_number(len - sim_len);
    say(" of ");
    say_number(len);
    say("\n");
    return stopped ? 2 : 0;
}
