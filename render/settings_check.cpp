#include "render/settings_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "refhost/host.h"
#include "refhost/vparm.h"
#include "refhost/xpanel.h"
#include "render/shader_setup.h"

namespace render {

namespace {

// At most this many frame times are looked at; longer ranges are sampled evenly.
constexpr int kMaxTimesChecked = 500;

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::vector<std::pair<int, double>> frame_times(const RenderSettings &rs) {
    std::vector<std::pair<int, double>> times;
    const long long frames = static_cast<long long>(rs.last_frame) - rs.first_frame + 1;
    const long long step = std::max<long long>(1, (frames + kMaxTimesChecked - 1) / kMaxTimesChecked);
    for (long long f = rs.first_frame; f <= rs.last_frame; f += step)
        times.emplace_back(static_cast<int>(f), static_cast<double>(f) / rs.fps);
    return times;
}

LWInstance bound_instance(const ShaderServer &server, const Surface &surface) {
    for (const ShaderBinding &b : surface.shaders)
        if (b.handler == &server.handler) return b.instance;
    return nullptr;
}

struct SurfaceCheck {
    std::string surface;
    std::vector<std::string> &out;
    std::set<std::string> said;  // one warning per setting

    void warn(const std::string &setting, const std::string &text) {
        if (said.insert(setting).second) out.push_back("surface \"" + surface + "\": " + text);
    }
};

// The first component of an animated setting at a time, without a spot.
double value_at(const PanelValue &v, double time) {
    if (!v.vparm) return v.d[0];
    double out[3] = {0, 0, 0};
    VParmSystem::get(from_id(v.vparm), time, nullptr, out);
    return out[0];
}

void check_animated(XPanel &panel, const RenderSettings &rs, SurfaceCheck &check) {
    const PanelValue amount = panel.read("dirt_amount");
    const PanelValue width = panel.read("dirt_width");
    const PanelValue falloff = panel.read("dirt_falloff");
    for (const auto &[frame, time] : frame_times(rs)) {
        const std::string at = rs.last_frame > rs.first_frame ? " at frame " + std::to_string(frame) : "";
        const double a = value_at(amount, time);
        if (a > 1.0)
            check.warn("dirt_amount", "dirt_amount is " + number(a * 100.0) + " %" + at +
                                          ": above 100 % the dirt overshoots its values, and creases can turn lighter "
                                          "instead of darker");
        else if (a < 0.0)
            check.warn("dirt_amount", "dirt_amount is " + number(a * 100.0) + " %" + at +
                                          ": below 0 the dirt pushes the surface away from its values");
        const double w = value_at(width, time);
        if (!(w > 0.0))
            check.warn("dirt_width", "dirt_width is " + number(w) + at + ": the dirt needs a positive width, and shows "
                                                                        "none (or broken values) without one");
        const double f = value_at(falloff, time);
        if (f < 0.0)
            check.warn("dirt_falloff", "dirt_falloff is " + number(f) + at +
                                           ": a negative falloff turns the dirt weight negative, lightening creases");
        else if (f == 0.0)
            check.warn("dirt_falloff", "dirt_falloff is 0" + at + ": the dirt weight is 0 everywhere");
    }
}

void check_rays(XPanel &panel, const RenderSettings &rs, SurfaceCheck &check) {
    const int count = panel.read("sample_count").i, itr = panel.read("sample_itr").i;
    if (count <= 0 || itr <= 0) {
        check.warn("rays", "sample_count " + std::to_string(count) + " x sample_itr " + std::to_string(itr) +
                               " casts no rays: the shader shows no dirt");
        return;
    }
    const long long rays = static_cast<long long>(count) * itr;
    if (rays <= kSlowRaysPerSpot) return;
    const double per_frame = static_cast<double>(rays) * rs.width * rs.height * rs.samples;
    char text[200];
    std::snprintf(text, sizeof text,
                  "sample_count %d x sample_itr %d = %lld rays per spot, up to %.3g rays a frame at %dx%d with %d "
                  "samples: the render will be very slow",
                  count, itr, rays, per_frame, rs.width, rs.height, rs.samples);
    check.warn("rays", text);
}

}  // namespace

std::vector<std::string> check_settings(Host &host, const ShaderServer &server, const SceneDescription &desc) {
    std::vector<std::string> out;
    for (const ShaderSettings &s : desc.shaders) {
        LWInstance instance = bound_instance(server, *s.surface);
        if (!instance) continue;
        const InstancePanel open(host, server, instance);
        XPanel *panel = open.get();
        if (!panel) continue;
        SurfaceCheck check{s.surface->name, out, {}};
        check_animated(*panel, desc.render, check);
        check_rays(*panel, desc.render, check);
    }
    return out;
}

std::string check_scene_geometry(const Scene &scene) {
    for (const Item *object : scene.objects())
        for (const auto &layer : object->layers)
            for (const auto &polygon : layer->mesh.polygons)
                if (polygon->vertices.size() >= 3) return "";
    return "the scene has no polygon to shade: the image shows the backdrop alone";
}

}  // namespace render
