#include <furi.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "core/fatal.h"
#include "core/scheduler.h"

namespace {

void describe_context() {
    if(host::Scheduler::in_interrupt()) {
        std::fprintf(stderr, "    in interrupt context\n");
    } else if(host::Task* task = host::Scheduler::current()) {
        std::fprintf(stderr, "    on thread \"%s\"\n", task->name.c_str());
    }
}

[[noreturn]] void stop() {
    std::fflush(stderr);
    std::abort();
}

} // namespace

extern "C" void
    furi_crash_at(const char* message, const char* file, int line, const char* function) {
    std::fprintf(
        stderr,
        "\n*** furi_crash: %s\n    at %s:%d in %s()\n",
        message ? message : "(no message)",
        file,
        line,
        function);
    describe_context();
    stop();
}

extern "C" void
    furi_check_failed(const char* expression, const char* file, int line, const char* function) {
    std::fprintf(
        stderr,
        "\n*** furi_check failed: %s\n    at %s:%d in %s()\n",
        expression,
        file,
        line,
        function);
    describe_context();
    stop();
}

namespace host {

void fatal(const char* format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    std::fprintf(stderr, "\n*** furi_check failed: %s\n", message);
    describe_context();
    stop();
}

} // namespace host
