#include "platform/program_launcher.h"
#include "test_support.h"

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace vantry::platform {
namespace {

using test::waitUntil;

class ProgramLauncherTest : public test::PlatformTest {
protected:
    // Runs the child's argument dump and returns its lines.
    std::vector<std::string> dump(const std::vector<std::string>& arguments, ShowMode show,
                                  const std::string& workingFolder = {})
    {
        const std::string out = (root() / ("dump" + std::to_string(++runs_))).string();
        std::vector<std::string> all = {"dump-args", out};
        all.insert(all.end(), arguments.begin(), arguments.end());
        EXPECT_TRUE(startProgram(test::childProgram(), all, show, workingFolder));
        EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(out); }));
        std::ifstream in(out);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    int runs_ = 0;
};

TEST_F(ProgramLauncherTest, ArgumentsArriveUnchangedAndNothingIsInterpreted)
{
    const std::vector<std::string> arguments = {
        "/pass", "two words", "\"quoted\"", "it's", "a;b", "$HOME", "`id`", "$(id)", "*", "", "back\\slash", "x > y",
    };
    const std::vector<std::string> lines = dump(arguments, ShowMode::Normal);
    ASSERT_EQ(lines.size(), arguments.size() + 3);
    for (std::size_t i = 0; i < arguments.size(); ++i)
        EXPECT_EQ(lines[i], "arg:" + arguments[i]);
}

TEST_F(ProgramLauncherTest, HiddenStartSetsTheShowVariableAndANormalStartClearsIt)
{
    EXPECT_EQ(dump({}, ShowMode::Hidden).at(0), "show:hide");
    EXPECT_EQ(requestedShowMode(), ShowMode::Normal);
    // A program started hidden does not pass "hidden" on to what it starts itself.
    ::setenv("VANTRY_SHOW", "hide", 1);
    EXPECT_EQ(requestedShowMode(), ShowMode::Hidden);
    EXPECT_EQ(dump({}, ShowMode::Normal).at(0), "show:<unset>");
}

TEST_F(ProgramLauncherTest, StartsInTheWorkingFolderWhenGiven)
{
    const auto lines = dump({}, ShowMode::Normal, root().string());
    EXPECT_EQ(lines.at(1), "cwd:" + std::filesystem::canonical(root()).string());
}

TEST_F(ProgramLauncherTest, OnlyTheStandardDescriptorsPassToTheProgram)
{
    // As a library would leave it: no close-on-exec.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    const auto lines = dump({}, ShowMode::Normal);
    ::close(leaked);
    EXPECT_EQ(lines.at(2), "fds:");
}

TEST_F(ProgramLauncherTest, ReportsWhatCannotBeStarted)
{
    const std::string notExecutable = (root() / "plain.txt").string();
    std::ofstream(notExecutable) << "text";
    struct Case {
        const char* what;
        std::string program;
        std::string workingFolder;
    };
    const Case cases[] = {
        {"missing program", (root() / "no-such-program").string(), {}},
        {"missing program in PATH", "vantry-no-such-program", {}},
        {"not executable", notExecutable, {}},
        {"a folder", root().string(), {}},
        {"empty name", "", {}},
        {"missing working folder", test::childProgram(), (root() / "gone").string()},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(startProgram(c.program, {"dump-args", (root() / "x").string()}, ShowMode::Normal, c.workingFolder))
            << c.what;
    EXPECT_FALSE(std::filesystem::exists(root() / "x"));
    EXPECT_FALSE(openDocument(""));
}

TEST_F(ProgramLauncherTest, FinishedProgramsLeaveNoZombie)
{
    pid_t child = -1;
    ASSERT_TRUE(startProgram("true", {}, ShowMode::Normal, {}, &child));
    ASSERT_GT(child, 0);
    // Once reaped, the process id is gone altogether.
    EXPECT_TRUE(waitUntil([&] { return ::kill(child, 0) != 0 && errno == ESRCH; }));
}

} // namespace
} // namespace vantry::platform
