#include "services.h"

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

loopback_services::loopback_services(const scratch_dir &dir) : dir_(dir) {
    const std::string port_file = dir.file("services.port"), log = dir.file("services.log");
    pid_ = fork();
    if (pid_ == 0) {
        execlp("python3", "python3", SITEPREP_SERVICES, port_file.c_str(), log.c_str(),
               static_cast<char *>(nullptr));
        _exit(127);
    }
    // It writes its port once it listens (through a rename: whole or not at all).
    for (int tries = 0; pid_ > 0 && tries < 600 && port_.empty(); ++tries) {
        if (dir.exists("services.port"))
            port_ = dir.read("services.port");
        else if (waitpid(pid_, nullptr, WNOHANG) == pid_)
            pid_ = -1; // it ended: no python3, or it failed
        else
            poll(nullptr, 0, 50);
    }
    while (!port_.empty() && (port_.back() == '\n' || port_.back() == '\r'))
        port_.pop_back();
}

loopback_services::~loopback_services() {
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

std::string loopback_services::base_url(const std::string &host) const {
    return "http://127.0.0.1:" + port_ + "/" + host;
}

std::string loopback_services::requests() const {
    return dir_.exists("services.log") ? dir_.read("services.log") : std::string();
}
