#include "cli_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

Result cli(const std::string& args, const std::string& input) {
    const char* program = std::getenv("SARNEL_CLI");
    if (program == nullptr) {
        ADD_FAILURE() << "SARNEL_CLI is not set";
        return {};
    }
    const std::string in = writefile("stdin", input);
    const std::string out = scratch() + "/stdout";
    const std::string err = scratch() + "/stderr";
    const std::string command =
        "'" + std::string(program) + "' " + args + " <'" + in + "' >'" + out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    Result r;
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

}  // namespace clitest
