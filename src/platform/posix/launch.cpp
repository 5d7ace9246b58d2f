// Launching a program: the command line is split as on Windows and handed to posix_spawnp, so
// that no shell ever interprets it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_launch.h"
#include "platform/system_launch.h"

extern char** environ;

namespace velmora {

namespace {

// Children not yet reaped: each launch reaps those that have ended, so none lingers as a zombie
// for long, and no SIGCHLD handler is needed (that would disturb other waits of the process).
std::vector<pid_t> Children;

void ReapEndedChildren() {
  std::erase_if(Children, [](pid_t pid) {
    int status;
    return waitpid(pid, &status, WNOHANG) != 0;
  });
}

LaunchResult FromErrno(int error) {
  switch (error) {
    case ENOENT:
      return LaunchResult::kNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return LaunchResult::kPathNotFound;
    case ENOEXEC:
    case EISDIR:
      return LaunchResult::kBadFormat;
    case EACCES:
    case EPERM:
      return LaunchResult::kAccessDenied;
    default:
      return LaunchResult::kNoResources;
  }
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  const auto blank = [&](size_t at) { return line[at] == ' ' || line[at] == '\t'; };
  for (;;) {
    while (i < line.size() && blank(i)) ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(i))) {
      if (line[i] == '\\') {
        size_t slashes = 0;
        while (i < line.size() && line[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < line.size() && line[i] == '"') {
          word.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            word += '"';
            ++i;
          }
        } else {
          word.append(slashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          word += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        word += line[i++];
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

// The split command line goes to posix_spawnp (the program is looked for on PATH when its name has
// no slash; backslashes in it separate directories), in a session of its own, with standard input
// and output on /dev/null. There is no window to show or hide: the program opens its own, if any.
LaunchResult SystemLaunch(const char* command_line, bool) {
  ReapEndedChildren();
  std::vector<std::string> words = SplitCommandLine(command_line);
  if (words.empty() || words[0].empty()) return LaunchResult::kNotFound;
  for (char& c : words[0]) {
    if (c == '\\') c = '/';
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return LaunchResult::kNoResources;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return LaunchResult::kNoResources;
  }
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // A session of its own: the program outlives Velmora and does not get its terminal's signals.
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
  flags |= POSIX_SPAWN_SETSID;
#endif
  posix_spawnattr_setflags(&attributes, flags);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);

  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return FromErrno(error);
  Children.push_back(pid);
  return LaunchResult::kStarted;
}

}  // namespace velmora
