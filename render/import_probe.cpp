#include "render/import_probe.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "refhost/scene.h"
#include "render/mesh_import.h"

namespace render {

namespace {

// The child's verdicts; anything else (a signal, a sanitizer's exit status) is a crash.
constexpr int kRead = 0;
constexpr int kRejected = 3;

[[noreturn]] void probe_in_child(const std::string &path) {
    // Whatever the importer or a sanitizer has to say about the crash stays in the child.
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
    }
    Scene scene;
    Item &object = scene.add_object("Object", "Object");
    std::string error;
    _exit(import_mesh_file(path, scene, object, &error) ? kRead : kRejected);
}

}  // namespace

bool importer_survives(const std::string &path, std::string *error) {
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t child = fork();
    if (child < 0) return true;  // no child to spare: the import itself is the test
    if (child == 0) probe_in_child(path);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return true;
    }
    if (WIFEXITED(status) && (WEXITSTATUS(status) == kRead || WEXITSTATUS(status) == kRejected)) return true;
    if (error) {
        *error = "cannot read mesh " + path + ": the importer crashes on it (";
        *error += WIFSIGNALED(status) ? std::string("signal ") + std::to_string(WTERMSIG(status))
                                      : "exit status " + std::to_string(WEXITSTATUS(status));
        *error += ")";
    }
    return false;
}

}  // namespace render
