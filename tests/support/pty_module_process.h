#pragma once
// The virtual YRM100 served on a pseudo-terminal by a child process (only one host::Runtime can
// exist in a process, and the app under test needs its own). The child is a fork of the caller
// running the same serving code as `fsim module --pty`; it stops when the parent closes the
// control pipe (or dies), or after a bounded time.
//
// Make one before any host::Runtime exists in the calling process.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bridge/fd_pump.h"
#include "bridge/pty_module.h"
#include "devices/yrm100.h"
#include "host/runtime.h"

namespace test_support {

class PtyModuleProcess {
public:
    /// The child serves a module with `config` (power not required) and `tags` in its field.
    explicit PtyModuleProcess(
        sim::Yrm100Config config = {},
        std::vector<sim::yrm100::TagSpec> tags = {}) {
        if(host::Runtime::exists())
            throw std::logic_error("PtyModuleProcess: a runtime already exists");
        int control[2];
        if(::pipe(control) != 0) throw std::runtime_error("PtyModuleProcess: pipe");
        sim::UniqueFd control_read(control[0]);
        control_.reset(control[1]);
        path_ = pty_.slave_path();
        pid_ = ::fork();
        if(pid_ < 0) throw std::runtime_error("PtyModuleProcess: fork");
        if(pid_ == 0) {
            control_.reset();
            serve(config, tags, control_read.get());
            ::_exit(0);
        }
        pty_.close_master(); // the child's copy is the only one: its end hangs the line up
    }
    ~PtyModuleProcess() { stop(); }
    PtyModuleProcess(const PtyModuleProcess&) = delete;
    PtyModuleProcess& operator=(const PtyModuleProcess&) = delete;

    /// The slave side to open.
    const std::string& path() const { return path_; }

    /// Ends the child (within a few hundred milliseconds) and reaps it; whether it exited 0.
    bool stop() {
        if(pid_ <= 0) return exited_ok_;
        control_.reset();
        int status = 0;
        for(int i = 0; i < 300; ++i) {
            if(::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                exited_ok_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
                return exited_ok_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
        return exited_ok_ = false;
    }

private:
    void serve(
        sim::Yrm100Config config,
        const std::vector<sim::yrm100::TagSpec>& tags,
        int control) {
        host::RuntimeOptions options;
        options.realtime = true;
        options.virtual_time_limit = 0;
        options.log_to_stderr = false;
        host::Runtime runtime(options);
        config.require_power = false;
        sim::Yrm100 module(runtime, config);
        for(const auto& tag : tags) module.add_tag(tag);
        sim::PtyModule serving(runtime, module, pty_.take_master());
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while(std::chrono::steady_clock::now() < give_up && serving.healthy()) {
            pollfd fd{control, POLLIN, 0};
            if(::poll(&fd, 1, 0) > 0) break; // the parent closed its end (or died)
            runtime.run_for(host::ms(10));
        }
    }

    sim::PseudoTerminal pty_;
    std::string path_;
    sim::UniqueFd control_;
    pid_t pid_ = 0;
    bool exited_ok_ = false;
};

} // namespace test_support
