// The command line of the suite's newer tools, from one table per tool: the
// parser, the usage line and the --help text all come from it, so that an
// option is described once and every tool reads its line the same way.
//
// A tool declares its table, then hands main's arguments to parse():
//
//     constexpr cli::Option kOptions[] = {
//         {.short_name = 'o', .value = "OUT.png", .help = "the picture to write (required)",
//          .required = "no output named (-o OUT.png)"},
//         {.short_name = 'w', .value = "TILES", .help = "tiles across"},
//         nes::palette_file_option, // --nes-palette FILE, as every tool spells it
//         {.short_name = 'q', .long_name = "quiet", .help = "say nothing but errors"},
//     };
//     constexpr cli::Tool kTool{
//         .name = "sometool",
//         .about = "What the tool does, in lines that each end with a line break.\n",
//         .options = kOptions,
//         .operands = "PICTURE [MORE]",
//         .min_operands = 1,
//         .too_few = "no picture named",
//         .max_operands = 2,
//         .too_many = "more than two pictures named",
//     };
//
//     int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
//         const cli::Line line = cli::parse(kTool, argc, argv, out, err);
//         if (line.ended()) {
//             return line.status(); // help, the version, or a wrong line: answered
//         }
//         const char* png = line.value('o'); // nullptr when not given
//         const char* table = line.value(nes::palette_file_option.long_name);
//         const bool quiet = line.given("quiet");
//         for (const char* picture : line.operands()) {
//             ...
//             cli::report(err, kTool.name, picture, "could not read it", why.text());
//         }
//     }
//
// That gives "usage: sometool [-w TILES] [--nes-palette FILE] [-q] PICTURE
// [MORE] -o OUT.png": the optional options in table order, the operands,
// then the required ones, going on under the word after the tool's name
// past 80 columns. The help is the usage, `about`, a blank line, and an
// entry per option, -h, --help and --version last.
//
// -h, --help and --version come with every table, and count anywhere on the
// line except as an option's value; "--" ends the options. A long option
// that takes a value takes it as the next argument or as --name=VALUE. What
// is wrong is said once, with the usage line after it: first an option
// ("sometool: unknown option -x", "sometool: missing value after -o"; the
// word is `missing_value`), then the operands' count, then a required option
// left out.
#pragma once

#include <cstddef>
#include <cstdio>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct Option {
    char short_name = '\0';          // -o; '\0' for none
    std::string_view long_name = {}; // --nes-palette, without the dashes; empty for none
    std::string_view value = {};     // the value's name in the texts (FILE); empty: takes none
    std::string_view help = {};      // one or more lines, '\n' between them
    // For an option that must be given: what is said when it is not. It then
    // stands in the usage line without brackets, after the operands.
    std::string_view required = {};
};

struct Tool {
    std::string_view name = {};  // as messages and the version start
    std::string_view about = {}; // the help's opening lines, each ending in '\n'
    std::span<const Option> options = {};
    std::string_view operands = {}; // in the usage line: "TILES.chr [NAMES.nam]"
    // The word in "missing VALUE after -x": each tool keeps its own.
    std::string_view missing_value = "value";
    std::size_t min_operands = 0;
    std::string_view too_few = {}; // empty: the usage line alone says it
    std::size_t max_operands = std::numeric_limits<std::size_t>::max();
    std::string_view too_many = {};
};

// The command line as read against a tool's table.
class Line {
  public:
    // True when the run ends here, answered already: help or the version
    // shown, or what is wrong with the line said, with the usage line.
    bool ended() const { return status_.has_value(); }
    int status() const { return *status_; }

    // The value last given to an option (nullptr if none): by its short
    // name, or by its long name without the dashes.
    const char* value(char short_name) const;
    const char* value(std::string_view long_name) const;
    // Whether the option was given at all.
    bool given(char short_name) const;
    bool given(std::string_view long_name) const;

    const std::vector<const char*>& operands() const { return operands_; }

  private:
    friend Line parse(const Tool&, int, const char* const*, std::FILE*, std::FILE*);
    std::size_t index(char short_name, std::string_view long_name) const;

    const Tool* tool_ = nullptr;
    std::optional<int> status_;
    std::vector<const char*> values_; // one per option of the table
    std::vector<bool> given_;
    std::vector<const char*> operands_;
};

// Reads argv as main receives it. Help and the version go to `out`; a wrong
// line is said on `err` ("tool: unknown option -x", then the usage line).
Line parse(const Tool& tool, int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// The usage line ("usage: tool [-x VALUE] OPERANDS -o OUT"), going on under
// the word after the tool's name where it would pass 80 columns; and the
// whole --help text, which starts with it.
std::string usage(const Tool& tool);
std::string help(const Tool& tool);

// "tool: SUBJECT: reason\n", the shape of every message about a file; with
// a cause (the system's error text), "tool: SUBJECT: reason: cause\n".
std::string message(std::string_view tool, std::string_view subject, std::string_view reason,
                    std::string_view cause = {});
// The same message, on `err`.
void report(std::FILE* err, std::string_view tool, std::string_view subject,
            std::string_view reason, std::string_view cause = {});

} // namespace cli
