#include "render/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace render {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Folder {
    fs::path path = fs::temp_directory_path() / ("atomic_file_test_" + std::to_string(getpid()));
    Folder() { fs::create_directories(path); }
    ~Folder() { fs::remove_all(path); }
    // The folder's entries apart from `keep`: temporary files left behind show here.
    int others(const std::string &keep) const {
        int n = 0;
        for (const auto &e : fs::directory_iterator(path)) n += e.path().filename() != keep;
        return n;
    }
};

TEST(AtomicFile, ReplacesTheWholeFileKeepingItsModeAndLeavesNothingElse) {
    Folder folder;
    const fs::path target = folder.path / "scene.json";
    std::ofstream(target) << "old content, longer than the new";
    chmod(target.c_str(), 0640);
    std::string error;
    ASSERT_TRUE(write_file_atomically(target.string(), "new", &error)) << error;
    EXPECT_EQ(slurp(target), "new");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(folder.others("scene.json"), 0);
}

TEST(AtomicFile, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    Folder folder;
    const fs::path target = folder.path / "image.png";
    const std::string old(100, 'o');
    std::ofstream(target) << old;
    // A file size limit of 4 KiB, in a child so that the limit stays there: the write
    // fails (EFBIG, with SIGXFSZ ignored as dirt-render ignores it) and nothing changes.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        const bool ok = write_file_atomically(target.string(), std::string(10000, 'n'), &error);
        _exit(!ok && error.find(target.string()) != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write did not fail with a message naming the file";
    EXPECT_EQ(slurp(target), old);
    EXPECT_EQ(folder.others("image.png"), 0);
}

TEST(AtomicFile, AnUncommittedFileChangesNothingAndAMissingFolderIsNamed) {
    Folder folder;
    const fs::path target = folder.path / "mask.exr";
    std::string error;
    {
        AtomicFile file(target.string());
        ASSERT_TRUE(file.open(&error)) << error;
        ASSERT_TRUE(file.write("half a file", &error));
    }
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(folder.others(""), 0);
    const std::string missing = (folder.path / "no such folder" / "out.png").string();
    EXPECT_FALSE(write_file_atomically(missing, "x", &error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;
}

}  // namespace
}  // namespace render
