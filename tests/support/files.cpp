#include "files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

std::vector<std::string> folderContents(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "skintools-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

namespace {

std::string slurp(int fd) {
    std::string text;
    ::lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

int anonymousFile() {
    char name[] = "/tmp/skintools-io-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) {
        throw std::runtime_error("cannot make a capture file");
    }
    ::unlink(name);
    return fd;
}

}  // namespace

RunResult runProgram(const std::vector<std::string>& arguments, const std::string& input,
                     const std::vector<std::string>& environment,
                     const std::function<void(pid_t)>& whileRunning) {
    const int inFd = anonymousFile();
    if (::write(inFd, input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
        throw std::runtime_error("cannot prepare standard input");
    }
    ::lseek(inFd, 0, SEEK_SET);
    const int outFd = anonymousFile();
    const int errFd = anonymousFile();

    const pid_t child = ::fork();
    if (child == 0) {
        const int stdinFd = input.empty() ? ::open("/dev/null", O_RDONLY) : inFd;
        ::dup2(stdinFd, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            ::signal(signal, SIG_DFL);
        }
        for (const std::string& setting : environment) {
            ::putenv(const_cast<char*>(setting.c_str()));
        }
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (whileRunning) {
        whileRunning(child);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    RunResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.endingSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = slurp(outFd);
    result.err = slurp(errFd);
    ::close(inFd);
    ::close(outFd);
    ::close(errFd);
    return result;
}

constexpr uid_t kUnprivilegedId = 65534;

std::vector<std::string> asUnprivilegedUser(const std::vector<std::string>& arguments) {
    if (::geteuid() != 0) {
        return arguments;
    }
    std::vector<std::string> command = {
        "/usr/bin/setpriv", "--reuid=" + std::to_string(kUnprivilegedId),
        "--regid=" + std::to_string(kUnprivilegedId), "--clear-groups"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

std::vector<std::string> withinAddressSpace(std::size_t bytes,
                                            const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"/usr/bin/prlimit", "--as=" + std::to_string(bytes)};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

std::vector<std::string> withRedirection(const std::string& redirection,
                                         const std::vector<std::string>& arguments) {
    if (redirection.empty()) {
        return arguments;
    }
    std::vector<std::string> command = {"/bin/sh", "-c", "exec \"$@\" " + redirection, "sh"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

bool giveToUnprivilegedUser(const std::filesystem::path& folder) {
    if (::geteuid() != 0) {
        return true;
    }
    bool given = ::lchown(folder.c_str(), kUnprivilegedId, kUnprivilegedId) == 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        given = ::lchown(entry.path().c_str(), kUnprivilegedId, kUnprivilegedId) == 0 && given;
    }
    return given;
}

}  // namespace testsupport
