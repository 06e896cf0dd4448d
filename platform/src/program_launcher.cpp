#include "platform/program_launcher.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vantry::platform {
namespace {

constexpr const char* kShowVariable = "VANTRY_SHOW";

std::vector<std::string> childEnvironment(ShowMode show)
{
    std::vector<std::string> variables;
    const std::string prefix = std::string(kShowVariable) + "=";
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0)
            variables.emplace_back(*entry);
    }
    if (show == ShowMode::Hidden)
        variables.push_back(prefix + "hide");
    return variables;
}

std::vector<char*> pointers(std::vector<std::string>& texts)
{
    std::vector<char*> result;
    result.reserve(texts.size() + 1);
    for (std::string& text : texts)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// Waits for the child on a thread of its own so that it never lingers as a zombie; waiting
// for this one pid leaves other children (of Qt or GStreamer) to their owners.
void reapInBackground(pid_t child)
{
    try {
        std::thread([child] {
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to spare: wait now if it has already ended, else it stays until exit.
        int status = 0;
        ::waitpid(child, &status, WNOHANG);
    }
}

class SpawnSettings {
public:
    SpawnSettings()
    {
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_init(&actions_);
    }
    ~SpawnSettings()
    {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // The child starts with default signal handling and nothing blocked, whatever this
    // program changed for itself (SIGPIPE ignored, signals blocked for a signal thread).
    bool prepare(const std::string& workingFolder)
    {
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        if (posix_spawnattr_setsigmask(&attributes_, &none) != 0 || posix_spawnattr_setsigdefault(&attributes_, &all) != 0
            || posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) != 0)
            return false;
        if (!workingFolder.empty() && posix_spawn_file_actions_addchdir_np(&actions_, workingFolder.c_str()) != 0)
            return false;
        // Only standard input, output and error pass on: a descriptor some library opened
        // without close-on-exec (a listening socket, a serial port, a record file) must not
        // stay open for the life of a companion program.
        if (posix_spawn_file_actions_addclosefrom_np(&actions_, 3) != 0)
            return false;
        return true;
    }

    const posix_spawnattr_t* attributes() const { return &attributes_; }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }

private:
    posix_spawnattr_t attributes_;
    posix_spawn_file_actions_t actions_;
};

} // namespace

ShowMode requestedShowMode()
{
    const char* value = std::getenv(kShowVariable);
    return value != nullptr && std::strcmp(value, "hide") == 0 ? ShowMode::Hidden : ShowMode::Normal;
}

bool startProgram(const std::string& program, const std::vector<std::string>& arguments, ShowMode show,
                  const std::string& workingFolder, pid_t* processId)
{
    if (program.empty())
        return false;
    std::vector<std::string> argumentTexts;
    argumentTexts.reserve(arguments.size() + 1);
    argumentTexts.push_back(program);
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environmentTexts = childEnvironment(show);
    std::vector<char*> argv = pointers(argumentTexts);
    std::vector<char*> envp = pointers(environmentTexts);

    SpawnSettings settings;
    if (!settings.prepare(workingFolder))
        return false;
    pid_t child = -1;
    // glibc reports a failed exec (and a failed chdir) as the result of posix_spawnp itself.
    const int result = posix_spawnp(&child, program.c_str(), settings.actions(), settings.attributes(), argv.data(), envp.data());
    if (result != 0)
        return false;
    if (processId != nullptr)
        *processId = child;
    reapInBackground(child);
    return true;
}

bool openDocument(const std::string& document, const std::string& workingFolder)
{
    if (document.empty())
        return false;
    return startProgram("xdg-open", {document}, ShowMode::Normal, workingFolder);
}

} // namespace vantry::platform
