#include "cli_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace clitest {

std::string scratch() {
    static std::string dir = [] {
        char pattern[] = "/tmp/sarnel-cli-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    return dir;
}

std::string writefile(const std::string& name, const std::string& bytes) {
    const std::string path = scratch() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

// The shell line that runs sarnel-cli with its input and outputs in files; "exec", so that
// the process started is sarnel-cli itself and signals reach it.
std::string commandline(const std::string& args, const std::string& input, Started& files) {
    const char* program = std::getenv("SARNEL_CLI");
    if (program == nullptr) {
        ADD_FAILURE() << "SARNEL_CLI is not set";
        return "exit 127";
    }
    static int runs = 0;
    const std::string n = std::to_string(++runs);
    const std::string in = writefile("stdin" + n, input);
    files.out = scratch() + "/stdout" + n;
    files.err = scratch() + "/stderr" + n;
    return "exec '" + std::string(program) + "' " + args + " <'" + in + "' >'" + files.out + "' 2>'" +
           files.err + "'";
}

Result collect(int status, const Started& files) {
    Result r;
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    r.out = slurp(files.out);
    r.err = slurp(files.err);
    return r;
}

}  // namespace

Result cli(const std::string& args, const std::string& input) {
    Started files;
    const int status = std::system(commandline(args, input, files).c_str());
    return collect(status, files);
}

Started start(const std::string& args, const std::string& input) {
    Started started;
    const std::string command = commandline(args, input, started);
    started.pid = ::fork();
    if (started.pid == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return started;
}

Result finish(Started& started, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (::waitpid(started.pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(started.pid, SIGKILL);
            ::waitpid(started.pid, &status, 0);
            break;
        }
        ::usleep(5000);
    }
    started.pid = -1;
    return collect(status, started);
}

}  // namespace clitest
