// What rays makes of its arguments, without starting it.
#include "form/printable.h"
#include "rays/command_line.h"

#include <gtest/gtest.h>

#include <regex>
#include <vector>

using rays::CommandLine;
using rays::interpret_command_line;

namespace {

CommandLine interpret(std::vector<std::string_view> args) { return interpret_command_line(args); }

} // namespace

TEST(CommandLine, NoArgumentsRunsTheAnimationAndPrintsNothing) {
    const CommandLine c = interpret({});
    EXPECT_TRUE(c.run_animation);
    EXPECT_EQ(c.out, "");
    EXPECT_EQ(c.err, "");
}

TEST(CommandLine, HelpAndVersionPrintOnStdoutAndExitZeroWithoutRunning) {
    const CommandLine version = interpret({"--version"});
    EXPECT_FALSE(version.run_animation);
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.err, "");
    EXPECT_EQ(version.out, "rays " + std::string(rays::kVersion) + "\n");
    EXPECT_TRUE(std::regex_match(std::string(rays::kVersion), std::regex(R"(\d+\.\d+)"))) << rays::kVersion;

    const CommandLine help = interpret({"--help"});
    EXPECT_FALSE(help.run_animation);
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: rays", 0), 0u) << help.out;
    for (const char* needed : {"right-click", "--help", "--version"})
        EXPECT_NE(help.out.find(needed), std::string::npos) << needed << " missing from\n" << help.out;
    EXPECT_EQ(help.out.back(), '\n');
}

TEST(CommandLine, AnyOtherArgumentIsAnUnknownOptionWithStatusTwo) {
    for (const std::string_view arg : {"-h", "-v", "--Help", "--versions", "--version=1", "help", "", "-", "--",
                                       "--help\n", "Form1"}) {
        const CommandLine c = interpret({arg});
        EXPECT_FALSE(c.run_animation) << arg;
        EXPECT_EQ(c.exit_status, 2) << arg;
        EXPECT_EQ(c.out, "") << arg;
        EXPECT_EQ(c.err, "rays: unknown option '" + runtime::printable(arg) + "'\n");
    }
}

TEST(CommandLine, TheFirstArgumentDecides) {
    EXPECT_EQ(interpret({"--help", "--bogus"}).out, interpret({"--help"}).out);
    EXPECT_EQ(interpret({"--version", "--help"}).out, interpret({"--version"}).out);

    const CommandLine bogus_first = interpret({"--bogus", "--help"});
    EXPECT_EQ(bogus_first.exit_status, 2);
    EXPECT_EQ(bogus_first.err, "rays: unknown option '--bogus'\n");
    EXPECT_EQ(bogus_first.out, "");
}

// Outside text in a message: what a terminal would obey, or a reader take
// for a line of its own, is escaped; letters of any language are not.
TEST(Printable, EscapesWhatATerminalWouldObey) {
    EXPECT_EQ(runtime::printable("naïve Ωmega/файл.png"), "naïve Ωmega/файл.png");
    EXPECT_EQ(runtime::printable("a\nb\tc\\d\x1b[2J\x7f"), "a\\nb\\tc\\\\d\\x1B[2J\\x7F");
    // A C1 control encoded in UTF-8, a byte that is not UTF-8, an overlong
    // slash, a sequence cut short at the end.
    EXPECT_EQ(runtime::printable("\xc2\x9b" "1m \xff \xc0\xaf \xe2\x82"), "\\xC2\\x9B1m \\xFF \\xC0\\xAF \\xE2\\x82");
}

TEST(CommandLine, FullScreenIsAWindowOfItsOwnOnEitherWindowSystem) {
    const CommandLine full = interpret({"--fullscreen"}); // no DISPLAY: Wayland will do
    EXPECT_TRUE(full.run_animation);
    EXPECT_EQ(full.target.kind, runtime::WindowTarget::Kind::kFullScreenWindow);
    EXPECT_TRUE(full.target.own());
    EXPECT_EQ(interpret({"--fullscreen", "1"}).err, "rays: unexpected argument '1'\n");
    EXPECT_EQ(interpret({"-fullscreen"}).err, "rays: unknown option '-fullscreen'\n");
    EXPECT_NE(interpret({"--help"}).out.find("rays --fullscreen"), std::string::npos);
}
