#include "support/private_cups.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace folio::print::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kPdfDriver = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";

// cupsd and lpadmin live in sbin folders, which a user's PATH may leave out.
std::string FindAdminTool(const std::string& name) {
    for (const char* folder : {"/usr/sbin/", "/usr/local/sbin/"}) {
        if (access((folder + name).c_str(), X_OK) == 0) {
            return folder + name;
        }
    }
    return {};
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        throw std::runtime_error("no free port on 127.0.0.1 for a private CUPS server");
    }
    close(fd);
    return ntohs(address.sin_port);
}

bool Answers(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected =
        fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return connected;
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

// Filters run as the unprivileged user lp: the folders on the way must be open to it.
void MakeFolder(const fs::path& path, fs::perms perms) {
    fs::create_directories(path);
    fs::permissions(path, perms);
}

// In a freshly forked child: standard output and error into `path`.
void RedirectOutput(const fs::path& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string PrivateCups::MissingParts() {
    std::string missing;
    if (FindAdminTool("cupsd").empty() || FindAdminTool("lpadmin").empty()) {
        missing += "cupsd or lpadmin (Debian package cups) is not installed. ";
    }
    if (access(kPdfDriver, R_OK) != 0) {
        missing += std::string(kPdfDriver) + " (Debian package cups-filters) is missing. ";
    }
    return missing;
}

PrivateCups::PrivateCups() {
    if (const std::string missing = MissingParts(); !missing.empty()) {
        throw std::runtime_error("cannot start a private CUPS server: " + missing);
    }
    char pattern[] = "/tmp/folio-cups-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot make a folder for a private CUPS server");
    }
    root_ = pattern;
    const fs::path root(root_);
    const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec;
    const auto shared = fs::perms::all | fs::perms::sticky_bit;
    fs::permissions(root, open);
    for (const char* folder : {"etc", "spool", "cache", "state", "log"}) {
        MakeFolder(root / folder, open);
    }
    MakeFolder(root / "tmp", shared);
    MakeFolder(root / "out", shared);

    const int port = FreePort();
    address_ = "127.0.0.1:" + std::to_string(port);
    Write(root / "etc/cupsd.conf", "Listen " + address_ +
                                       "\n"
                                       "Browsing No\n"
                                       "WebInterface No\n"
                                       "DefaultAuthType None\n"
                                       "LogLevel warn\n"
                                       "<Location />\n  Order allow,deny\n  Allow 127.0.0.1\n"
                                       "</Location>\n"
                                       "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                       "  </Limit>\n</Policy>\n");
    // A PidFile line is fatal to CUPS 2.4; Printcap must not be the system's.
    Write(root / "etc/cups-files.conf",
          "ServerRoot " + root_ + "/etc\nRequestRoot " + root_ + "/spool\nCacheDir " + root_ +
              "/cache\nStateDir " + root_ + "/state\nAccessLog " + root_ +
              "/log/access_log\nErrorLog " + root_ + "/log/error_log\nPageLog " + root_ +
              "/log/page_log\nPrintcap " + root_ + "/etc/printcap\nTempDir " + root_ +
              "/tmp\nFileDevice Yes\nSystemGroup root\n");

    const std::string cupsd = FindAdminTool("cupsd");
    const std::string conf = root_ + "/etc/cupsd.conf";
    const std::string files = root_ + "/etc/cups-files.conf";
    const std::string output = root_ + "/log/cupsd.out";
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // A test that dies takes its server with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(1);
        }
        RedirectOutput(output);
        execl(cupsd.c_str(), "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(), nullptr);
        _exit(127);
    }
    if (pid_ < 0) {
        throw std::runtime_error("cannot start cupsd");
    }
    // The environment reaches the tools and threads started later; this thread's
    // libcups may already hold a server address of its own.
    setenv("CUPS_SERVER", address_.c_str(), 1);
    cupsSetServer(address_.c_str());

    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!Answers(port)) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("cupsd ended at start (status " + std::to_string(status) +
                                     "): " + Slurp(output) + Log());
        }
        if (Clock::now() > deadline) {
            Stop();
            throw std::runtime_error("cupsd did not answer on " + address_ + ": " + Log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

PrivateCups::~PrivateCups() {
    Stop();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void PrivateCups::Stop() {
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
}

std::string PrivateCups::AddPdfQueue(const std::string& name) {
    const std::string file = root_ + "/out/" + name + ".pdf";
    Run({FindAdminTool("lpadmin"), "-h", address_, "-p", name, "-E", "-v", "file://" + file, "-P",
         kPdfDriver});
    return file;
}

void PrivateCups::RejectJobs(const std::string& name) {
    Run({FindAdminTool("cupsreject"), "-h", address_, name});
}

void PrivateCups::PauseQueue(const std::string& name) {
    Run({FindAdminTool("cupsdisable"), "-h", address_, name});
}

void PrivateCups::ResumeQueue(const std::string& name) {
    Run({FindAdminTool("cupsenable"), "-h", address_, name});
}

void PrivateCups::WaitForJobs() const {
    const auto deadline = Clock::now() + std::chrono::minutes(1);
    while (!Run({"lpstat", "-h", address_, "-o"}).empty()) {
        if (Clock::now() > deadline) {
            throw std::runtime_error("print jobs still pending after a minute: " + Log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int PrivateCups::JobCount() const {
    const std::string jobs = Run({"lpstat", "-h", address_, "-W", "all", "-o"});
    int lines = 0;
    for (char c : jobs) {
        lines += c == '\n';
    }
    return lines;
}

std::string PrivateCups::Log() const {
    return Slurp(fs::path(root_) / "log/error_log");
}

std::string PrivateCups::Run(const std::vector<std::string>& command) const {
    const fs::path capture = fs::path(root_) / "log/command.out";
    const pid_t child = fork();
    if (child == 0) {
        RedirectOutput(capture);
        std::vector<char*> argv;
        for (const std::string& arg : command) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = -1;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        throw std::runtime_error(command.front() + " failed (status " + std::to_string(status) +
                                 "): " + Slurp(capture));
    }
    return Slurp(capture);
}

}  // namespace folio::print::testing

// libcups keeps the PPD data Qt's printer support asks for until the process ends;
// LeakSanitizer is not to count that against the tests that print.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libcups.so\n";
}
