#include "tests/fuzz/instance_load_target.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "host/lwsdk.h"
#include "instance/dirt_instance.h"
#include "refhost/block_io.h"
#include "refhost/envelopes.h"
#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "refhost/textures.h"
#include "refhost/vparm.h"
#include "tests/fuzz/target.h"

namespace fuzz {

namespace {

// The plug-in's classes have no type information in this executable: read a parameter's
// handle without the sanitizer's dynamic type check, which would need it.
__attribute__((no_sanitize("vptr"))) LWVParmID vparm_of(const ormel::PluginDataParam *p) { return p->vparm; }

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "instance load target: %s\n", what);
    std::abort();
}

// The host with the plug-in loaded and its shader activated, made once per process: the
// module keeps its service handles for good, so the host must outlive every input.
struct Harness {
    refhost::Host host;
    refhost::PluginFile plugin;
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
    LWShaderHandler handler{};
    size_t baseline_groups = 0;

    Harness() {
        refhost::install_render_services(host);
        refhost::install_instance_services(host);
        handler.inst = &inst;
        handler.item = &item;
        handler.rend = &rend;
        if (!plugin.load(ORMEL_PLUGIN_PATH)) fail(plugin.error().c_str());
        if (plugin.activate(host, "ShaderHandler", "Ormel_Dirt", 4, &handler) != AFUNC_OK)
            fail("the shader did not activate");
        baseline_groups = host.component<refhost::EnvelopeSystem>().root_groups().size();
    }

    // Instances leave their channel groups behind, as in the host; a long run would pile
    // them up, so the groups made since start-up go once their instances are gone.
    void drop_instance_groups() {
        // Images too: those an input brought in would otherwise pile up, and be found by
        // later inputs under the same names.
        host.scene().drop_images_after(0);
        auto &env = host.component<refhost::EnvelopeSystem>();
        if (env.root_groups().size() <= baseline_groups) return;
        for (size_t extra = env.root_groups().size() - baseline_groups; extra > 0; --extra)
            env.destroy_group(env.root_groups().back());
    }

    ormel::DirtInstance *create() {
        LWError error = nullptr;
        auto *made = static_cast<ormel::DirtInstance *>(inst.create(inst.priv, nullptr, &error));
        if (!made) fail("create returned null");
        return made;
    }

    std::string save(ormel::DirtInstance *d, int mode) {
        refhost::BlockWriter w(mode);
        inst.save(d, w.state());
        if (w.state()->depth(w.state()->writeData) != 0) fail("save left a block open");
        return w.bytes();
    }

    void load(ormel::DirtInstance *d, int mode, const std::string &data) {
        refhost::BlockReader r(mode, data);
        inst.load(d, r.state());
        if (r.state()->depth(r.state()->readData) != 0) fail("load left a block open");
    }
};

Harness &harness() {
    static Harness *h = new Harness();  // never destroyed: the module's handles point into it
    return *h;
}

void load_one_mode(Harness &h, int mode, const std::string &data) {
    ormel::DirtInstance *a = h.create();
    h.load(a, mode, data);
    // Whatever the load kept or took, the instance is whole: its save loads into a fresh
    // instance, which saves it back unchanged.
    const std::string first = h.save(a, mode);
    ormel::DirtInstance *b = h.create();
    h.load(b, mode, first);
    const std::string second = h.save(b, mode);
    if (second != first) {
        // ORMEL_FUZZ_DUMP=prefix keeps both saves for a look at what changed.
        if (const char *dump = std::getenv("ORMEL_FUZZ_DUMP")) {
            refhost::write_file(std::string(dump) + "first", first);
            refhost::write_file(std::string(dump) + "second", second);
        }
        fail("a loaded instance does not save and load back unchanged");
    }
    h.inst.descln(a);
    h.inst.destroy(a);
    h.inst.destroy(b);
    h.drop_instance_groups();
}

// Makes every setting, envelope and texture of an instance differ from the defaults.
void edit(Harness &h, ormel::DirtInstance *d) {
    auto &vparms = h.host.component<refhost::VParmSystem>();
    auto &textures = h.host.component<refhost::TextureSystem>();
    const LWVParmFuncs &vp = refhost::vparm_funcs();
    d->sample_theta = 0.1 + 0.2;
    d->sample_jitter = 1e-7;
    d->sample_count = 11;
    d->sample_itr = 3;
    d->sample_scale = 2.0 / 3.0;
    d->use_color = 1;
    d->use_Kd = 0;
    d->use_Ks = 1;
    d->use_mirror = 1;
    d->use_bump = 1;
    d->single_f = 1;
    double width[3] = {0.125, 0.125, 0.125};
    vp.setVal(vparm_of(d->dirt_width), width);
    double color[3] = {0.25, 0.5, 1.0 / 3.0};
    vp.setVal(vparm_of(d->dirt_color), color);
    refhost::VParm *amount = refhost::from_id(vparm_of(d->dirt_amount));
    vparms.enable_envelope(amount, 0)->add_key(2.0, 0.75);
    refhost::VParm *colour = refhost::from_id(vparm_of(d->dirt_color));
    for (int c = 0; c < 3; ++c) vparms.enable_envelope(colour, c)->add_key(1.0 + c, 0.1 * c);
    refhost::Texture *tex = vparms.attach_texture(refhost::from_id(vparm_of(d->dirt_Kd)));
    if (tex) {
        refhost::Image &wood = h.host.scene().add_image("Wood.png", "/maps/wood.png");
        refhost::TextureLayer *first = textures.add_layer(tex, TLT_IMAGE);
        first->image = &wood;
        if (first->opacity) first->opacity->envelope.add_key(0.5, 0.25);
        textures.add_layer(tex, TLT_PROC);
    }
}

}  // namespace

void load_both_modes(const uint8_t *data, size_t size) {
    Harness &h = harness();
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    load_one_mode(h, LWIO_BINARY, bytes);
    load_one_mode(h, LWIO_ASCII, bytes);
}

std::string saved_new_instance(int io_mode) {
    Harness &h = harness();
    ormel::DirtInstance *d = h.create();
    const std::string out = h.save(d, io_mode);
    h.inst.destroy(d);
    return out;
}

std::string saved_edited_instance(int io_mode) {
    Harness &h = harness();
    ormel::DirtInstance *d = h.create();
    edit(h, d);
    const std::string out = h.save(d, io_mode);
    h.inst.destroy(d);
    return out;
}

void run_input(const uint8_t *data, size_t size) { load_both_modes(data, size); }

bool write_seeds(const std::string &dir) {
    std::filesystem::create_directories(dir);
    bool ok = true;
    ok &= refhost::write_file(dir + "/new_binary", saved_new_instance(LWIO_BINARY));
    ok &= refhost::write_file(dir + "/new_text", saved_new_instance(LWIO_ASCII));
    ok &= refhost::write_file(dir + "/edited_binary", saved_edited_instance(LWIO_BINARY));
    ok &= refhost::write_file(dir + "/edited_text", saved_edited_instance(LWIO_ASCII));
    return ok;
}

}  // namespace fuzz

// libFuzzer's entry point.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::run_input(data, size);
    return 0;
}
