#include "render/object_import.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <new>
#include <thread>

#include "render/limits.h"
#include "render/mesh_import.h"
#include "render/object_stream.h"

namespace render {

namespace {

// The child's exit statuses; anything else (a signal, a sanitizer's report) is a crash.
constexpr int kAnswered = 0;   // the object, or the importer's reason for refusing the file, is in the pipe
constexpr int kExhausted = 3;  // memory ran out

// The child's first byte: what follows.
constexpr char kObject = 'O';   // the object stream
constexpr char kRefused = 'R';  // the importer's one-line reason

// Beyond the memory limit, the child may take this much address space for the importer's
// own tables, the libraries' and the stream it sends back.
constexpr double kImporterHeadroomMib = 256.0;
// The longest reason for refusing a file the parent takes from the child.
constexpr size_t kMaxReason = 4096;
constexpr size_t kReadChunk = 1 << 20;

constexpr double kMiB = 1024.0 * 1024.0;

// ---- The child.

[[noreturn]] void out_of_memory() { _exit(kExhausted); }

// Address space for the child: what it has (a copy of the renderer) and the memory limit
// with the importer's headroom.
void limit_address_space() {
    unsigned long pages = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const double have = static_cast<double>(pages) * static_cast<double>(sysconf(_SC_PAGESIZE));
    const double allowed = have + (limits().max_memory_mib + kImporterHeadroomMib) * kMiB;
    struct rlimit as {};
    if (getrlimit(RLIMIT_AS, &as) != 0) return;
    // A tighter limit the renderer was started under stays.
    if (as.rlim_cur != RLIM_INFINITY && static_cast<double>(as.rlim_cur) <= allowed) return;
    as.rlim_cur = static_cast<rlim_t>(allowed);
    setrlimit(RLIMIT_AS, &as);
}

bool write_all(int fd, const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

[[noreturn]] void import_in_child(const std::string &path, const ImportOptions &options, int fd) {
    // Whatever the importer or a sanitizer has to say stays in the child.
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
    }
    // A crash leaves no core file behind: the parent says what happened.
    const struct rlimit no_core {};
    setrlimit(RLIMIT_CORE, &no_core);
    limit_address_space();
    // The importer catches exceptions of its own and reports them as a reason for
    // refusing the file: memory that runs out must be told apart before it can.
    std::set_new_handler(out_of_memory);
    std::string answer;
    try {
        // Never freed: the child ends as soon as it has answered, and the system takes back
        // a million points at once far quicker than they are freed one by one.
        Scene &scene = *new Scene;
        Item &object = scene.add_object("Object", "Object");
        std::string error;
        std::vector<std::string> warnings, files_read;
        if (import_mesh_file(path, scene, object, &error, &warnings, options, &files_read)) {
            answer.assign(1, kObject);
            write_object_stream(object, warnings, answer, files_read);
        } else {
            answer.assign(1, kRefused);
            answer += error.substr(0, kMaxReason);
        }
    } catch (const std::bad_alloc &) {
        _exit(kExhausted);
    } catch (const std::exception &e) {
        answer.assign(1, kRefused);
        answer += ("cannot read mesh " + path + ": " + e.what()).substr(0, kMaxReason);
    }
    _exit(write_all(fd, answer) ? kAnswered : 1);
}

// ---- The parent.

using Clock = std::chrono::steady_clock;

std::string limit_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

enum class Answer { Whole, TimedOut, TooLong, Lost };

// Reads the child's answer until it closes the pipe, the time is up, or the answer grows
// beyond `most` bytes. The pipe is read as the child writes, so that a full pipe never
// holds it up; the deadline holds for a child that never writes at all.
Answer read_answer(int fd, Clock::time_point deadline, size_t most, std::string &answer) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Answer::TimedOut;
        struct pollfd p = {fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR) return Answer::Lost;
        if (ready <= 0) continue;
        const size_t at = answer.size();
        if (at >= most) return Answer::TooLong;
        answer.resize(at + std::min(kReadChunk, most - at));
        const ssize_t n = read(fd, &answer[at], answer.size() - at);
        answer.resize(at + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        if (n == 0) return Answer::Whole;
        if (n < 0 && errno != EINTR && errno != EAGAIN) return Answer::Lost;
    }
}

// The child's end, once its answer is in: it exits as it closes the pipe, but is stopped
// should it go on past the deadline.
int wait_for_child(pid_t child, Clock::time_point deadline, bool *timed_out) {
    int status = 0;
    for (int pause_ms = 1;; pause_ms = std::min(2 * pause_ms, 64)) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return status;
        if (done < 0 && errno != EINTR) return status;
        if (Clock::now() >= deadline) {
            *timed_out = true;
            kill(child, SIGKILL);
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    }
}

bool fail(std::string *error, const std::string &message) {
    if (error) *error = message;
    return false;
}

}  // namespace

bool import_object_file(const std::string &path, Scene &scene, Item &object, std::vector<std::string> &warnings,
                        std::string *error, const ImportOptions &options, std::vector<std::string> *files_read) {
    const std::string what = "cannot read mesh " + path + ": ";
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return fail(error, what + "no pipe to an import process");
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return fail(error, what + "no import process could be started");
    }
    if (child == 0) {
        close(fds[0]);
        import_in_child(path, options, fds[1]);
    }
    close(fds[1]);
    const double seconds = limits().import_timeout_seconds;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    // The answer is held whole before anything is made of it: no more than the memory limit.
    const size_t most = static_cast<size_t>(std::min(limits().max_memory_mib * kMiB, 1e18));
    std::string answer;
    const Answer got = read_answer(fds[0], deadline, most, answer);
    close(fds[0]);
    if (got != Answer::Whole) kill(child, SIGKILL);
    bool timed_out = got == Answer::TimedOut;
    const int status = wait_for_child(child, deadline, &timed_out);

    const std::string memory_limit = limit_text(limits().max_memory_mib) + " MiB (raise it with --max-memory MIB)";
    if (timed_out)
        return fail(error, what + "the import timed out after " + limit_text(seconds) +
                               " s (raise the limit with --import-timeout S)");
    if (got == Answer::TooLong)
        return fail(error, what + "the object needs more memory than the limit of " + memory_limit);
    if (got == Answer::Lost) return fail(error, what + "the answer of the import process could not be read");
    if (WIFEXITED(status) && WEXITSTATUS(status) == kExhausted)
        return fail(error, what + "importing it needs more memory than the limit of " + memory_limit);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != kAnswered)
        return fail(error, what + "the importer crashes on it (" +
                               (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                                    : "exit status " + std::to_string(WEXITSTATUS(status))) +
                               ")");
    if (!answer.empty() && answer[0] == kRefused && answer.size() <= 1 + kMaxReason) {
        // The importer's reason names the file; should it not, or say nothing, it is made to.
        const std::string reason = answer.substr(1);
        if (reason.rfind(what, 0) != 0) return fail(error, what + reason);
        return fail(error, reason.size() > what.size() ? reason : what + "the importer refuses it and gives no reason");
    }
    std::string problem;
    if (answer.empty() || answer[0] != kObject ||
        !read_object_stream(answer.data() + 1, answer.size() - 1, scene, object, warnings, &problem, files_read))
        return fail(error, what + (problem.empty() ? "the import process sent back nothing it could use" : problem));
    return true;
}

bool import_object_ahead(const std::string &path, ImportedObject &imported, std::string *error,
                         const ImportOptions &options) {
    imported.object = &imported.scene.add_object("Object", "Object");
    return import_object_file(path, imported.scene, *imported.object, imported.warnings, error, options,
                              &imported.files_read);
}

void adopt_imported_object(ImportedObject &imported, Scene &scene, Item &object) {
    int first_layer = 0;
    for (const auto &layer : object.layers) first_layer = std::max(first_layer, layer->index + 1);
    for (auto &layer : imported.object->layers) {
        layer->index += first_layer;
        object.layers.push_back(std::move(layer));
    }
    imported.object->layers.clear();
    for (const Surface *s : imported.object->surfaces) {
        bool known = false;
        for (const Surface *existing : object.surfaces) known |= existing->name == s->name;
        if (!known) scene.add_surface(object, s->name).values = s->values;
    }
}

}  // namespace render
