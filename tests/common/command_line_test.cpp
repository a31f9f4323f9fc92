// The command-line kit on a table of its own: what a line is read as, what
// is said when it is wrong, and the texts made from the table.
#include "command_line.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr cli::Option kOptions[] = {
    {.short_name = 'o', .value = "OUT", .help = "where it goes", .required = "no output named"},
    {.short_name = 'q', .long_name = "quiet", .help = "first line\nsecond line"},
    {.long_name = "table", .value = "FILE", .help = "a table"},
};

constexpr cli::Tool kTool{
    .name = "demo",
    .about = "Does a thing.\n",
    .options = kOptions,
    .operands = "IN [MORE [EVEN.MORE]]",
    .min_operands = 1,
    .too_few = "nothing named",
    .max_operands = 2,
    .too_many = "too much named",
};

struct Said {
    cli::Line line;
    std::string out;
    std::string err;
};

std::string drain(std::FILE* f) {
    std::rewind(f);
    std::string text;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
        text.push_back(static_cast<char>(c));
    }
    return text;
}

Said parse(const cli::Tool& tool, const std::vector<const char*>& words) {
    std::vector<const char*> args(words.size() + 1, "demo");
    std::copy(words.begin(), words.end(), args.begin() + 1);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), std::fclose);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), std::fclose);
    cli::Line line =
        cli::parse(tool, static_cast<int>(args.size()), args.data(), out.get(), err.get());
    return {std::move(line), drain(out.get()), drain(err.get())};
}

const std::string usage = "usage: demo [-q] [--table FILE] IN [MORE [EVEN.MORE]] -o OUT\n";

TEST(CommandLine, ReadsValuesFlagsAndOperands) {
    const struct {
        std::vector<const char*> args;
        const char* out;
        const char* table;
        bool quiet;
        std::vector<std::string> operands;
    } cases[] = {
        {{"a", "-o", "x"}, "x", nullptr, false, {"a"}},
        {{"-o", "x", "-o", "y", "a", "b"}, "y", nullptr, false, {"a", "b"}},
        {{"--table", "t", "-q", "a", "-o", "-h"}, "-h", "t", true, {"a"}},
        {{"--table=t=u", "--quiet", "-o", "x", "a"}, "x", "t=u", true, {"a"}},
        {{"--table", "--help", "-o", "", "-"}, "", "--help", false, {"-"}},
        {{"-o", "x", "--", "-q", "--"}, "x", nullptr, false, {"-q", "--"}},
        {{"", "-o", "x"}, "x", nullptr, false, {""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Said r = parse(kTool, c.args);
        ASSERT_FALSE(r.line.ended()) << r.err;
        EXPECT_STREQ(r.line.value('o'), c.out);
        EXPECT_STREQ(r.line.value("table"), c.table);
        EXPECT_EQ(r.line.given('q'), c.quiet);
        EXPECT_EQ(r.line.given("quiet"), c.quiet);
        EXPECT_EQ(std::vector<std::string>(r.line.operands().begin(), r.line.operands().end()),
                  c.operands);
        EXPECT_EQ(r.out + r.err, "");
    }
    EXPECT_THROW(parse(kTool, {"a", "-o", "x"}).line.value('z'), std::logic_error);
}

TEST(CommandLine, AWrongLineIsSaidOnceWithTheUsage) {
    const struct {
        std::vector<const char*> args;
        std::string err;
    } cases[] = {
        {{"a", "-o", "x", "-x", "-y"}, "demo: unknown option -x\n"},
        {{"-ox", "a"}, "demo: unknown option -ox\n"},
        {{"--quiet=1", "a", "-o", "x"}, "demo: unknown option --quiet=1\n"},
        {{"--tab", "t", "a", "-o", "x"}, "demo: unknown option --tab\n"},
        {{"--help=1"}, "demo: unknown option --help=1\n"},
        {{"a", "-o"}, "demo: missing value after -o\n"},
        {{"a", "-o", "x", "--table"}, "demo: missing value after --table\n"},
        {{"a", "-o", "x", "--table="}, "demo: missing value after --table=\n"},
        {{"-o", "x"}, "demo: nothing named\n"},
        {{"-o", "x", "a", "b", "c"}, "demo: too much named\n"},
        {{"a"}, "demo: no output named\n"},
        {{"-x"}, "demo: unknown option -x\n"},       // before the operands' count
        {{"a", "b", "c"}, "demo: too much named\n"}, // before a required option
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Said r = parse(kTool, c.args);
        ASSERT_TRUE(r.line.ended());
        EXPECT_EQ(r.line.status(), 1);
        EXPECT_EQ(r.err, c.err + usage);
        EXPECT_EQ(r.out, "");
    }
    // Too few operands, when the table has no word for it: the usage alone.
    constexpr cli::Tool quiet_tool{.name = "demo", .operands = "IN...", .min_operands = 1};
    const Said r = parse(quiet_tool, {});
    EXPECT_EQ(r.err, "usage: demo IN...\n");
    constexpr cli::Tool file_tool{.name = "demo", .options = kOptions, .missing_value = "file"};
    EXPECT_EQ(parse(file_tool, {"--table"}).err,
              "demo: missing file after --table\nusage: demo [-q] [--table FILE] -o OUT\n");
}

TEST(CommandLine, HelpAndVersionWinAnywhereButInAValue) {
    for (const auto& args : std::vector<std::vector<const char*>>{
             {"-h"}, {"-x", "--help"}, {"--version", "-h"}, {"a", "b", "c", "-h"}}) {
        const Said r = parse(kTool, args);
        ASSERT_TRUE(r.line.ended());
        EXPECT_EQ(r.line.status(), 0);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out.starts_with(usage + "Does a thing.\n\n")) << r.out;
    }
    const Said version = parse(kTool, {"-x", "--version"});
    EXPECT_EQ(version.line.status(), 0);
    EXPECT_TRUE(version.out.starts_with("demo (")) << version.out;
    EXPECT_EQ(parse(kTool, {"--", "--help"}).err, "demo: no output named\n" + usage);
}

TEST(CommandLine, HelpColumnsAndUsageWrapping) {
    EXPECT_EQ(cli::help(kTool), usage + "Does a thing.\n"
                                        "\n"
                                        "  -o OUT        where it goes\n"
                                        "  -q, --quiet   first line\n"
                                        "                second line\n"
                                        "  --table FILE  a table\n"
                                        "  -h, --help    show this help and exit\n"
                                        "  --version     show the version and exit\n");
    // A group in brackets is never broken; a word that would pass column
    // 80 starts a line of its own, under the first operand's column.
    constexpr cli::Tool wide{.name = "wide",
                             .options = kOptions,
                             .operands = "A_VERY_LONG_OPERAND_NAME [ANOTHER_LONG_ONE [AND_ONE]]"};
    EXPECT_EQ(cli::usage(wide), "usage: wide [-q] [--table FILE] A_VERY_LONG_OPERAND_NAME\n"
                                "            [ANOTHER_LONG_ONE [AND_ONE]] -o OUT\n");
    EXPECT_EQ(cli::message("demo", "a b.png", "could not write it", "No space left on device"),
              "demo: a b.png: could not write it: No space left on device\n");
    EXPECT_EQ(cli::message("demo", "x", "not a picture"), "demo: x: not a picture\n");
}

} // namespace
