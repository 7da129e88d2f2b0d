// dirt-render never loses or damages a file that existed before it ran: it never writes
// over a file it reads, refuses outputs that are one file before writing any, replaces a
// file whole or not at all, and keeps names that are bytes rather than UTF-8.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <string>

#include "render/json_bytes.h"
#include "render/png_image.h"
#include "tests/support/dirt_render_run.h"

namespace {

using testing_support::run_dirt_render;
using testing_support::RunResult;

const char *const kSmall = " --width 24 --height 16 --samples 1 -q";

class FileSafety : public testing_support::ScratchFolder {
protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        mkdir(path("sub").c_str(), 0755);
        write("mesh.obj", "v -1 0 -1\nv 1 0 -1\nv 1 0 1\nv -1 0 1\nf 1 2 3 4\n");
        render::RgbImage tex;
        tex.width = tex.height = 2;
        tex.rgb.assign(12, 0.5f);
        std::string error;
        ASSERT_TRUE(render::write_png(path("tex.png"), tex, &error)) << error;
        write("scene.json", R"({"camera": {"position": [0, 3, -3], "look_at": [0, 0, 0]},
          "objects": [{"name": "M", "file": "mesh.obj"}],
          "surfaces": [{"object": "M", "name": "DefaultMaterial", "dirt": {"dirt_Kd": {"value": 0.5,
             "texture": [{"type": "image", "image": ")" + path("tex.png") + R"("}]}}}]})");
        std::ifstream plugin(ORMEL_PLUGIN_PATH, std::ios::binary);
        std::ofstream(path("p.p"), std::ios::binary) << plugin.rdbuf();
    }

    // Every file of the scratch folder and its sub-folder, with its bytes.
    std::map<std::string, std::string> files() const {
        std::map<std::string, std::string> all;
        for (const char *folder : {"", "sub/"}) {
            DIR *d = opendir(path(folder).c_str());
            while (const dirent *e = d ? readdir(d) : nullptr) {
                struct stat st;
                const std::string name = std::string(folder) + e->d_name;
                if (lstat(path(name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) all[name] = bytes(name);
                else if (lstat(path(name).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) all[name] = "(link)";
            }
            if (d) closedir(d);
        }
        return all;
    }

    // The run is refused in one line, with status 1, and the folder is as it was.
    void expect_refused_untouched(const std::string &args, const std::string &message) {
        const auto before = files();
        const RunResult r = run_dirt_render(args + kSmall, "cd " + dir_ + " && ");
        EXPECT_TRUE(r.exited) << args << ": " << r.output;
        EXPECT_EQ(r.status, 1) << args << ": " << r.output;
        EXPECT_EQ(r.lines(), 1) << args << ": " << r.output;
        EXPECT_NE(r.output.find(message), std::string::npos) << args << ": " << r.output;
        EXPECT_TRUE(files() == before) << args << ": a file was written, changed or removed";
    }
};

TEST_F(FileSafety, InputsAreNeverSavedOver) {
    const std::string reads = "which this run reads";
    expect_refused_untouched("mesh.obj --save-scene ./mesh.obj", "it is the object file");
    expect_refused_untouched("scene.json --save-scene sub/../mesh.obj", "it is the object file");
    expect_refused_untouched("scene.json --save-scene " + path("tex.png"), "it is the image file");
    expect_refused_untouched("scene.json -o out.png --mask tex.png", reads);
    expect_refused_untouched("--plugin p.p --save-scene " + path("p.p"), "it is the plug-in file");
    // Files the importer opens for an object file are inputs too: an OBJ's material library.
    write("lib.mtl", "newmtl Clay\nKd 0.5 0.4 0.3\n");
    write("with_mtl.obj", "mtllib lib.mtl\nusemtl Clay\nv -1 0 -1\nv 1 0 -1\nv 1 0 1\nf 1 2 3\n");
    expect_refused_untouched("with_mtl.obj --save-scene lib.mtl", "it is a file read with an object file");
    symlink("../p.p", path("sub/plugin_link.p").c_str());
    expect_refused_untouched("--plugin p.p --save-scene sub/plugin_link.p", "it is the plug-in file");

    // The scene file itself may be saved over: that is how a scene is updated.
    const RunResult r = run_dirt_render("scene.json -o out.png --save-scene scene.json" + std::string(kSmall),
                                        "cd " + dir_ + " && ");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(bytes("scene.json").find("dirt_state"), std::string::npos);
    EXPECT_EQ(run_dirt_render(path("scene.json") + " -o " + path("again.png") + kSmall).status, 0);
}

TEST_F(FileSafety, OutputsThatAreOneFileAreRefusedBeforeAnyIsWritten) {
    write("old.png", "old");
    symlink("old.png", path("link.png").c_str());
    mkdir(path("h_2.png").c_str(), 0755);
    const std::string both = "would both be written to";
    expect_refused_untouched("-o out.png --mask ./out.png", both);
    expect_refused_untouched("-o out.png --mask " + path("sub/../out.png"), both);
    expect_refused_untouched("-o old.png --mask link.png", both);
    expect_refused_untouched("-o 'f_#.png' --mask 'f_##.png' --frames 9-10", "of frame 10 " + both + " f_10.png");
    expect_refused_untouched("-o 'a_#.png' --mask 'a_1#.png' --frames 1-11", both + " a_11.png");
    expect_refused_untouched("-o out.png --save-scene out.png", both);
    expect_refused_untouched("-o 'g_#.png' --frames 1-3 --save-scene g_2.png", both);
    expect_refused_untouched("-o 'g_#.png' --frames -3-3 --save-scene g_-2.png", both);
    // A folder named like frame 2 is found before frame 1 is written.
    expect_refused_untouched("-o 'h_#.png' --frames 1-2", "cannot write h_2.png: it is a folder");
    expect_refused_untouched("-o nowhere/out.png", "the folder nowhere does not exist");
}

TEST_F(FileSafety, AFileSizeLimitLeavesTheOldFilesAsTheyWere) {
    // A limit of one block (512 or 1024 bytes, by the shell) cuts every write short.
    for (const std::string &out : {std::string("o.png"), std::string("o.exr"), std::string("s.json")}) {
        write(out, "old " + out);
        const std::string args = out == "s.json" ? "-o x.png --save-scene " + out : "-o " + out;
        const auto before = files();
        const RunResult r =
            run_dirt_render(args + " --width 64 --height 40 --samples 1 -q", "cd " + dir_ + " && ulimit -f 1 && ");
        EXPECT_TRUE(r.exited) << out << ": ended by a signal: " << r.output;
        EXPECT_EQ(r.status, 1) << out << ": " << r.output;
        EXPECT_EQ(r.lines(), 1) << r.output;
        EXPECT_NE(r.output.find("cannot write " + out + ": File too large"), std::string::npos) << r.output;
        EXPECT_TRUE(files() == before) << out << ": a file was changed or left behind";
    }
}

TEST_F(FileSafety, NamesThatAreNotUtf8RenderAndAreSavedAsTheyAre) {
    // A Latin-1 file name, and a Latin-1 material name that becomes the surface's.
    const std::string object = "caf\xE9.obj", surface = "Rou\xE9";
    write("m.mtl", "newmtl " + surface + "\nKd 0.6 0.6 0.6\n");
    write(object, "mtllib m.mtl\nv -1 0 -1\nv 1 0 -1\nv 1 0 1\nv -1 0 1\nv 0 1 0\nusemtl " + surface +
                      "\nf 1 2 3 4\nf 1 2 5\n");
    const RunResult first = run_dirt_render("'" + path(object) + "' -o " + path("a.png") + " --save-scene '" +
                                            path("s\xE9.json") + "'" + kSmall);
    ASSERT_EQ(first.status, 0) << first.output;
    const std::string saved = bytes("s\xE9.json");
    EXPECT_TRUE(render::valid_utf8(saved));
    EXPECT_NE(saved.find("caf\\udce9.obj"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"Rou\\udce9\""), std::string::npos) << saved;

    const RunResult second = run_dirt_render("'" + path("s\xE9.json") + "' -o " + path("b.png") + " --save-scene " +
                                             path("again.json") + kSmall);
    ASSERT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(bytes("a.png"), bytes("b.png"));
    std::string again = bytes("again.json");
    const size_t at = again.find("b.png");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(again.replace(at, 5, "a.png"), saved) << "saved back as it was read";
}

}  // namespace
