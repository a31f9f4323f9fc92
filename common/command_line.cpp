#include "command_line.hpp"

#include <algorithm>
#include <stdexcept>

namespace cli {

namespace {

constexpr std::size_t kUsageWidth = 80;

// The options every tool has, described in its help after its own.
struct Builtin {
    std::string_view spelling;
    std::string_view help;
};
constexpr Builtin kBuiltins[] = {
    {"-h, --help", "show this help and exit"},
    {"--version", "show the version and exit"},
};

std::string short_spelling(char name) {
    return std::string{'-', name};
}

std::string long_spelling(std::string_view name) {
    return std::string("--").append(name);
}

// How the usage line names an option: by its short name where it has one.
std::string usage_spelling(const Option& option) {
    std::string text = option.short_name != '\0' ? short_spelling(option.short_name)
                                                 : long_spelling(option.long_name);
    if (!option.value.empty()) {
        text.append(" ").append(option.value);
    }
    return text;
}

// How the help names an option: every name it has, then its value.
std::string help_spelling(const Option& option) {
    std::string text;
    if (option.short_name != '\0') {
        text = short_spelling(option.short_name);
    }
    if (!option.long_name.empty()) {
        text.append(text.empty() ? "" : ", ").append(long_spelling(option.long_name));
    }
    if (!option.value.empty()) {
        text.append(" ").append(option.value);
    }
    return text;
}

// The usage line's words; a bracketed group ("[NAMES.nam]", "[-w TILES]")
// is one word, never broken.
std::vector<std::string> usage_words(const Tool& tool) {
    std::vector<std::string> words;
    for (const Option& option : tool.options) {
        if (option.required.empty()) {
            words.push_back(std::string("[").append(usage_spelling(option)).append("]"));
        }
    }
    std::string word;
    int depth = 0;
    for (const char c : tool.operands) {
        depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        if (c == ' ' && depth == 0) {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    for (const Option& option : tool.options) {
        if (!option.required.empty()) {
            words.push_back(usage_spelling(option));
        }
    }
    return words;
}

} // namespace

std::string usage(const Tool& tool) {
    std::string text = std::string("usage: ").append(tool.name);
    const std::size_t indent = text.size() + 1;
    std::size_t line_start = 0;
    for (const std::string& word : usage_words(tool)) {
        if (text.size() - line_start + 1 + word.size() > kUsageWidth) {
            text.append("\n");
            line_start = text.size();
            text.append(indent, ' ');
        } else {
            text.append(" ");
        }
        text.append(word);
    }
    return text.append("\n");
}

std::string help(const Tool& tool) {
    std::vector<std::pair<std::string, std::string_view>> entries;
    for (const Option& option : tool.options) {
        entries.emplace_back(help_spelling(option), option.help);
    }
    for (const Builtin& builtin : kBuiltins) {
        entries.emplace_back(builtin.spelling, builtin.help);
    }
    std::size_t width = 0;
    for (const auto& entry : entries) {
        width = std::max(width, entry.first.size());
    }
    std::string text = usage(tool);
    text.append(tool.about).append("\n");
    for (const auto& [spelling, lines] : entries) {
        text.append("  ").append(spelling).append(width + 2 - spelling.size(), ' ');
        for (std::size_t start = 0;;) {
            const std::size_t end = std::min(lines.find('\n', start), lines.size());
            text.append(lines.substr(start, end - start)).append("\n");
            if (end == lines.size()) {
                break;
            }
            start = end + 1;
            text.append(width + 4, ' ');
        }
    }
    return text;
}

std::string message(std::string_view tool, std::string_view subject, std::string_view reason,
                    std::string_view cause) {
    std::string text(tool);
    text.append(": ").append(subject).append(": ").append(reason);
    if (!cause.empty()) {
        text.append(": ").append(cause);
    }
    return text.append("\n");
}

void report(std::FILE* err, std::string_view tool, std::string_view subject,
            std::string_view reason, std::string_view cause) {
    std::fputs(message(tool, subject, reason, cause).c_str(), err);
}

std::size_t Line::index(char short_name, std::string_view long_name) const {
    const std::span<const Option> options = tool_->options;
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (short_name != '\0' ? options[i].short_name == short_name
                               : options[i].long_name == long_name) {
            return i;
        }
    }
    // Only a tool's own code names options, so this is a slip in that code.
    throw std::logic_error("no such option in the table");
}

const char* Line::value(char short_name) const {
    return values_[index(short_name, {})];
}

const char* Line::value(std::string_view long_name) const {
    return values_[index('\0', long_name)];
}

bool Line::given(char short_name) const {
    return given_[index(short_name, {})];
}

bool Line::given(std::string_view long_name) const {
    return given_[index('\0', long_name)];
}

Line parse(const Tool& tool, int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    Line line;
    line.tool_ = &tool;
    line.values_.assign(tool.options.size(), nullptr);
    line.given_.assign(tool.options.size(), false);
    bool help = false;
    bool version = false;
    bool only_operands = false;
    std::string wrong; // the first thing wrong; the rest of the line is still read
    const auto complain = [&](std::string what) {
        if (wrong.empty()) {
            wrong = std::move(what);
        }
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (only_operands || arg.empty() || arg[0] != '-' || arg == "-") {
            line.operands_.push_back(argv[i]);
            continue;
        }
        if (arg == "--") {
            only_operands = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            help = true;
            continue;
        }
        if (arg == "--version") {
            version = true;
            continue;
        }
        // -x, --name, or --name=VALUE for an option that takes a value.
        const bool is_long = arg.starts_with("--");
        const std::string_view name = is_long ? arg.substr(2, arg.find('=') - 2) : arg.substr(1);
        const bool attached = is_long && arg.find('=') != std::string_view::npos;
        std::size_t found = tool.options.size();
        for (std::size_t k = 0; k < tool.options.size(); ++k) {
            const Option& option = tool.options[k];
            if (is_long ? !option.long_name.empty() && option.long_name == name
                        : name.size() == 1 && option.short_name == name[0]) {
                found = k;
            }
        }
        if (found == tool.options.size() || (attached && tool.options[found].value.empty())) {
            complain(std::string("unknown option ").append(arg));
            continue;
        }
        const Option& option = tool.options[found];
        const char* value = nullptr;
        if (!option.value.empty()) {
            if (attached) {
                value = argv[i] + arg.find('=') + 1;
            } else if (i + 1 < argc) {
                value = argv[++i];
            }
            if (value == nullptr || (attached && *value == '\0')) {
                complain(std::string("missing ")
                             .append(tool.missing_value)
                             .append(" after ")
                             .append(arg));
                continue;
            }
        }
        line.values_[found] = value;
        line.given_[found] = true;
    }
    if (help || version) {
        const std::string text =
            help ? cli::help(tool)
                 : std::string(tool.name).append(" (" SUITE_NAME ") " SUITE_VERSION "\n");
        std::fputs(text.c_str(), out);
        line.status_ = std::fflush(out) == 0 ? 0 : 1;
        return line;
    }
    // What is wrong, in this order: the options themselves, the operands,
    // then a required option left out. Too few operands may go without a
    // word of their own, the usage line saying enough.
    bool refused = !wrong.empty();
    const std::size_t count = line.operands_.size();
    if (!refused && (count < tool.min_operands || count > tool.max_operands)) {
        wrong = count < tool.min_operands ? tool.too_few : tool.too_many;
        refused = true;
    }
    for (std::size_t k = 0; !refused && k < tool.options.size(); ++k) {
        if (!tool.options[k].required.empty() && !line.given_[k]) {
            wrong = tool.options[k].required;
            refused = true;
        }
    }
    if (refused) {
        std::string said;
        if (!wrong.empty()) {
            said.append(tool.name).append(": ").append(wrong).append("\n");
        }
        std::fputs(said.append(usage(tool)).c_str(), err);
        line.status_ = 1;
    }
    return line;
}

} // namespace cli
