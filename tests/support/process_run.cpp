#include "tests/support/process_run.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace tarvelo::test {

namespace {

std::string drain(int fd) {
    std::string out;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

int decode_status(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// The emulator's command words (TARVELO_TEST_EMULATOR, separated by
// spaces), empty in a native build.
std::vector<std::string> emulator_command() {
    std::vector<std::string> words;
#ifdef TARVELO_TEST_EMULATOR
    const std::string text = TARVELO_TEST_EMULATOR;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        auto end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
#endif
    return words;
}

}  // namespace

ProcessResult run_process(const std::string& path, const std::vector<std::string>& args,
                          const std::vector<std::string>& env) {
    int pipefd[2];
    if (::pipe(pipefd) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);

    // In a cross build the program runs under the emulator that runs the tests.
    std::vector<std::string> command = emulator_command();
    command.push_back(path);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipefd[1]);
    if (rc != 0) {
        ::close(pipefd[0]);
        throw std::runtime_error("cannot start " + path);
    }
    ProcessResult result;
    result.output = drain(pipefd[0]);
    ::close(pipefd[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exit_status = decode_status(status);
    return result;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string output_after_start(const std::string& output) {
    std::string text;
    bool started = false;
    for (const std::string& line : lines_of(output)) {
        if (started) text += line + "\n";
        started = started || line == "Tarvelo START";
    }
    return text;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace tarvelo::test
