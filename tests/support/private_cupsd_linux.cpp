#include "support/private_cupsd.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

extern char** environ;

namespace mk::test {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string programPath(const std::string& name) {
    for (const char* folder : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
        const std::string path = folder + name;
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return name;
}

// Starts a program with its output going to logPath; -1 on failure.
pid_t spawn(const std::vector<std::string>& arguments, const std::string& logPath) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

// Waits for the process to end; false when it still runs after the limit.
bool waitForExit(pid_t pid, std::chrono::milliseconds limit, int* status) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const pid_t done = waitpid(pid, status, WNOHANG);
        if (done == pid || done < 0) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool socketAnswers(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

struct HttpCloser {
    void operator()(http_t* http) const { httpClose(http); }
};

}  // namespace

PrivateCupsd::PrivateCupsd(const std::string& extraConfig) {
    char pattern[] = "/tmp/mklabel-cupsd.XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    directory_ = pattern;
    const fs::path dir(directory_);
    for (const char* sub : {"spool", "cache", "state", "tmp", "log"}) fs::create_directories(dir / sub);
    socketPath_ = (dir / "cups.sock").string();
    writeFile(dir / "cupsd.conf",
              "Listen " + socketPath_ +
                  "\n"
                  "LogLevel warn\n"
                  "Browsing No\n"
                  "WebInterface No\n"
                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n" +
                  extraConfig);
    writeFile(dir / "cups-files.conf", "ServerRoot " + directory_ + "\nRequestRoot " + directory_ +
                                           "/spool\nCacheDir " + directory_ + "/cache\nStateDir " + directory_ +
                                           "/state\nTempDir " + directory_ + "/tmp\nErrorLog " + directory_ +
                                           "/log/error_log\nAccessLog " + directory_ + "/log/access_log\nPageLog " +
                                           directory_ + "/log/page_log\nSystemGroup root\n");

    pid_ = spawn({programPath("cupsd"), "-f", "-c", (dir / "cupsd.conf").string(), "-s",
                  (dir / "cups-files.conf").string()},
                 (dir / "log" / "output").string());
    if (pid_ < 0) return;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        if (socketAnswers(socketPath_)) {
            ready_ = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    setenv("CUPS_SERVER", socketPath_.c_str(), 1);
    cupsSetServer(socketPath_.c_str());  // forgets a server this thread used before
}

PrivateCupsd::~PrivateCupsd() {
    cupsSetServer(nullptr);
    unsetenv("CUPS_SERVER");
    if (pid_ > 0) {
        int status = 0;
        kill(pid_, SIGTERM);
        if (!waitForExit(pid_, std::chrono::seconds(10), &status)) {
            kill(pid_, SIGKILL);
            waitForExit(pid_, std::chrono::seconds(10), &status);
        }
    }
    if (!directory_.empty()) {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
}

std::string PrivateCupsd::log() const {
    std::ostringstream text;
    for (const char* name : {"output", "error_log"}) {
        std::ifstream file(fs::path(directory_) / "log" / name);
        text << file.rdbuf();
    }
    return text.str();
}

bool PrivateCupsd::runClient(const std::vector<std::string>& arguments) const {
    const pid_t pid = spawn(arguments, (fs::path(directory_) / "log" / "output").string());
    if (pid < 0) return false;
    int status = 0;
    if (!waitForExit(pid, std::chrono::seconds(15), &status)) {
        kill(pid, SIGKILL);
        waitForExit(pid, std::chrono::seconds(5), &status);
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PrivateCupsd::addRawQueue(const std::string& name, const std::string& address, int port) {
    return runClient({programPath("lpadmin"), "-p", name, "-E", "-v",
                      "socket://" + address + ":" + std::to_string(port), "-m", "raw"});
}

bool PrivateCupsd::rejectJobs(const std::string& name) { return runClient({programPath("cupsreject"), name}); }

std::vector<PrivateCupsd::Job> PrivateCupsd::jobs(const std::string& name) const {
    std::vector<Job> result;
    std::unique_ptr<http_t, HttpCloser> http(
        httpConnect2(socketPath_.c_str(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 10000, nullptr));
    if (!http) return result;
    cups_job_t* list = nullptr;
    const int count = cupsGetJobs2(http.get(), &list, name.c_str(), 0, CUPS_WHICHJOBS_ALL);
    for (int i = 0; i < count; ++i) result.push_back(Job{list[i].id, list[i].title, static_cast<int>(list[i].state)});
    cupsFreeJobs(count, list);
    return result;
}

}  // namespace mk::test
