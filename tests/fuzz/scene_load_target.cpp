// Loading scene files from untrusted bytes: the renderer's scene loader reads them, with
// the built plug-in's shader on every surface they name (settings through its panel,
// stored states restored, the work limits checked), as dirt-render does before it renders.
//
// Checks, besides no crash, leak or undefined behaviour:
// - a refusal is one line of text (no control characters), as dirt-render prints it;
// - a scene that loads stores back (every instance saved by the plug-in) as a document
//   that loads again and stores back unchanged.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "refhost/block_io.h"
#include "refhost/envelopes.h"
#include "refhost/host.h"
#include "refhost/image_list.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "refhost/shader_server.h"
#include "refhost/xpanel.h"
#include "render/json_bytes.h"
#include "render/json_read.h"
#include "render/limits.h"
#include "render/png_image.h"
#include "render/scene_file.h"
#include "render/shader_limits.h"
#include "render/shader_setup.h"
#include "tests/fuzz/target.h"

namespace fuzz {

namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "scene load target: %s\n", what.c_str());
    std::abort();
}

// Relative file names resolve in a folder of object files that hang the importer, make it
// allocate without end, and one good triangle: inputs reach other files only by absolute
// names.
const char *const kBaseDir = ORMEL_FUZZ_SCENE_OBJECTS;

// The host with the plug-in loaded and its shader activated, made once per process: the
// module keeps its service handles for good. Every input gets a fresh scene.
struct Harness {
    refhost::Host host;
    refhost::PluginFile plugin;
    refhost::ShaderServer server;
    size_t baseline_groups = 0;

    Harness() {
        // A small memory limit keeps each input quick (a mesh that fills 64 MiB takes a
        // hundred times longer than the demo scene); the checks it makes are the same.
        render::Limits limits;
        limits.max_memory_mib = 4;
        // Imports that hang cost no more than this; the good triangle takes milliseconds.
        limits.import_timeout_seconds = 1;
        render::set_limits(limits);
        refhost::install_instance_services(host);
        refhost::set_image_file_reader(host, render::read_png_image);
        refhost::install_render_services(host);
        if (!plugin.load(ORMEL_PLUGIN_PATH)) fail(plugin.error());
        std::string error;
        if (!refhost::activate_shader(host, plugin, "Ormel_Dirt", server, &error)) fail(error);
        baseline_groups = host.component<refhost::EnvelopeSystem>().root_groups().size();
    }

    // Destroys the instances and what they left behind (their channel groups, the panel
    // system's record of calls), and starts a new scene.
    void reset() {
        refhost::release_shaders(host, server);
        auto &env = host.component<refhost::EnvelopeSystem>();
        while (env.root_groups().size() > baseline_groups) env.destroy_group(env.root_groups().back());
        host.component<refhost::XPanelSystem>().clear_calls();
        host.scene() = refhost::Scene();
    }
};

Harness &harness() {
    static Harness *h = new Harness();  // never destroyed: the module's handles point into it
    return *h;
}

void check_one_line(const std::string &text, const char *what) {
    if (text.empty()) fail(std::string(what) + " is empty");
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) fail(std::string(what) + " is not one line of text: " + text);
}

// Loads a document into a fresh scene with the shaders applied; its stored form, or empty
// when the loader refused it (with a message that must be one line).
std::string load_and_store(Harness &h, const std::string &text) {
    h.reset();
    render::SceneDescription desc;
    std::string error;
    json doc;
    try {
        doc = render::parse_json(text, "scene");
    } catch (const render::JsonError &e) {
        check_one_line(e.message, "a refusal");
        return "";
    }
    if (!render::build_scene_from_json(doc, kBaseDir, h.host.scene(), desc, &error) ||
        !render::apply_shaders(h.host, h.server, desc, {}, &error) ||
        !render::check_shader_limits(h.host, h.server, desc, &error)) {
        check_one_line(error, "a refusal");
        return "";
    }
    for (const std::string &w : desc.warnings) check_one_line(w, "a warning");
    try {
        return render::dump_json(render::scene_document_with_instances(h.host, h.server, desc));
    } catch (const json::exception &e) {
        fail(std::string("a loaded scene cannot be stored: ") + e.what());
    }
}

}  // namespace

void run_input(const uint8_t *data, size_t size) {
    Harness &h = harness();
    const std::string first = load_and_store(h, std::string(reinterpret_cast<const char *>(data), size));
    if (!first.empty()) {
        const std::string second = load_and_store(h, first);
        if (second != first) {
            // ORMEL_FUZZ_DUMP=prefix keeps both for a look at what changed.
            if (const char *dump = std::getenv("ORMEL_FUZZ_DUMP")) {
                refhost::write_file(std::string(dump) + "first", first);
                refhost::write_file(std::string(dump) + "second", second);
            }
            fail(second.empty() ? "a stored scene does not load" : "a stored scene does not store back unchanged");
        }
    }
    h.reset();
}

bool write_seeds(const std::string &dir) {
    std::filesystem::create_directories(dir);
    Harness &h = harness();
    const std::string demo = render::demo_scene_json();
    const std::string stored = load_and_store(h, demo);
    h.reset();
    return refhost::write_file(dir + "/demo.json", demo + "\n") && !stored.empty() &&
           refhost::write_file(dir + "/demo_stored.json", json::parse(stored).dump(1) + "\n");
}

}  // namespace fuzz

// libFuzzer's entry point.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::run_input(data, size);
    return 0;
}
