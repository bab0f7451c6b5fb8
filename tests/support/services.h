// The stand-ins for the web services (tests/road/services.py), serving on
// the loopback address while the object lives: started by the test, and
// stopped by its process id.
#pragma once

#include "tool.h"

#include <string>
#include <sys/types.h>

class loopback_services {
  public:
    // Starts the server, its port and its log of requests written in dir.
    explicit loopback_services(const scratch_dir &dir);
    ~loopback_services();
    loopback_services(const loopback_services &) = delete;
    loopback_services &operator=(const loopback_services &) = delete;

    // Whether it serves (python3 found, the port written).
    bool serving() const { return !port_.empty(); }
    // The --base-url that reaches the stand-in of host.
    std::string base_url(const std::string &host) const;
    // The requests served so far, a line each ("GET /HOST/PATH").
    std::string requests() const;

  private:
    const scratch_dir &dir_;
    pid_t pid_ = -1;
    std::string port_;
};
