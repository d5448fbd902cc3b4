#include "support/Processus.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace essai {

pid_t LanceProcessus(const std::vector<std::string>& arguments, int sortie,
                     const std::string& journal, int fd3) {
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (sortie >= 0)
        posix_spawn_file_actions_adddup2(&actions, sortie, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, journal.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd3 >= 0) posix_spawn_file_actions_adddup2(&actions, fd3, 3);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace essai
