// Starting the companion programs and opening documents. Programs get an argument vector as
// it stands (never a shell, so spaces, quotes and ';' stay plain text). Started programs are
// reaped in the background: they leave no zombies, whether they end early or late.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace vantry::platform {

// How a started program shows its main window. Hidden sets VANTRY_SHOW=hide in the child's
// environment; Normal removes a VANTRY_SHOW that this program itself was started with.
enum class ShowMode { Normal, Hidden };

// Tells a program how its starter asked it to show its window (VANTRY_SHOW).
ShowMode requestedShowMode();

// Starts `program` (a path; a name without '/' is searched in PATH) with `arguments` (not
// including the program itself), in `workingFolder` when not empty. True once the program
// runs: a program that cannot be executed, a missing working folder or a spawn failure give
// false. *processId receives the child's id when given.
bool startProgram(const std::string& program, const std::vector<std::string>& arguments, ShowMode show = ShowMode::Normal,
                  const std::string& workingFolder = {}, pid_t* processId = nullptr);

// Opens a document or URL with the desktop's handler (xdg-open). True when the opener could
// be started; whether it finds an application is up to the desktop.
bool openDocument(const std::string& document, const std::string& workingFolder = {});

} // namespace vantry::platform
