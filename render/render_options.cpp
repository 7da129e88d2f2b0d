// The command line of dirt-render, held in one table: each option's name, the form of its
// value, its help text with an example, and the function that checks the value against its
// range and fills RenderOptions. The parser, --help and the nearest-name suggestion for an
// unknown option all read the table; a mistake is one line, and the program exits with 2.
//
// A table-driven parser rather than CLI11: values here often begin with a dash (--frames
// -7--3, --view -30,20, --up -z) which CLI11 takes for options unless each is declared
// specially; every message a user sees (and the tests check) is ours word for word; and the
// help layout, with examples and sections, is printed as written. The whole parser is
// shorter than the CLI11 glue that would reproduce those.
#include "render/render_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "render/mesh_import.h"
#include "render/setting_names.h"
#include "render/surface_choice.h"

namespace render {

namespace {

// The largest limits the options take: a pebibyte, and every ray two 32-bit counts can ask for.
constexpr long long kMaxMemoryMib = 1LL << 30;
constexpr long long kMaxRaysPerSpot = 1LL << 62;
constexpr int kMaxTurntableFrames = 100000;
// Seconds an import may be given: from a tenth of a second to a day.
constexpr double kMinImportTimeout = 0.1, kMaxImportTimeout = 86400.0;
constexpr double kMaxExposureStops = 64.0;

bool parse_long(const std::string &s, long long lo, long long hi, long long &out) {
    if (s.empty()) return false;
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parse_int(const std::string &s, int lo, int hi, int &out) {
    long long v = 0;
    if (!parse_long(s, lo, hi, v)) return false;
    out = static_cast<int>(v);
    return true;
}

bool parse_double(const std::string &s, double lo, double hi, double &out) {
    if (s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) return false;
    char *end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (*end != '\0' || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
}

// "A,B,C": exactly n numbers within [lo, hi].
bool parse_list(const std::string &s, int n, double lo, double hi, double *out) {
    std::vector<std::string> parts(1);
    for (char c : s) {
        if (c == ',') parts.emplace_back();
        else parts.back().push_back(c);
    }
    if (static_cast<int>(parts.size()) != n) return false;
    for (int i = 0; i < n; ++i)
        if (!parse_double(parts[i], lo, hi, out[i])) return false;
    return true;
}

bool parse_frames(const std::string &s, int &a, int &b) {
    const size_t dash = s.find('-', 1);
    if (dash == std::string::npos) return parse_int(s, -kMaxFrame, kMaxFrame, a) && (b = a, true);
    return parse_int(s.substr(0, dash), -kMaxFrame, kMaxFrame, a) &&
           parse_int(s.substr(dash + 1), -kMaxFrame, kMaxFrame, b) && a <= b;
}

// "DEGREES" or "NAME=DEGREES", the angle from 0 to 180.
bool smoothing_angle_form(const std::string &s) {
    const size_t eq = s.rfind('=');
    const std::string number = eq == std::string::npos ? s : s.substr(eq + 1);
    double degrees = 0.0;
    return eq != 0 && parse_double(number, 0.0, 180.0, degrees);
}

bool parse_region(const std::string &s, int *r) {
    double v[4];
    if (!parse_list(s, 4, 0.0, kMaxImageSide, v)) return false;
    for (int i = 0; i < 4; ++i) {
        if (v[i] != std::floor(v[i])) return false;
        r[i] = static_cast<int>(v[i]);
    }
    return r[0] < r[2] && r[1] < r[3];
}

// One option. `apply` checks the value and fills the options; false leaves `why` (preset
// to `mistake`) as the reason, which follows the option's name in the message.
struct Option {
    const char *section;  // a heading printed before the option in --help, or nullptr
    const char *name;
    const char *alias;    // a short spelling, or nullptr
    const char *value;    // the value's form in --help; nullptr for a switch
    const char *help;     // lines of help, the last with an example where one helps
    const char *mistake;  // what the value needs, for the one-line message
    bool (*apply)(RenderOptions &, const std::string &, std::string &why);
};

const std::vector<Option> &option_table() {
    static const std::vector<Option> table = {
        {nullptr, "--output", "-o", "FILE",
         "the image to write (default: the scene's, else dirt.png): .png\n"
         "or .exr by the extension; the last run of # in the name takes\n"
         "the frame number, padded to the run's length (frame_####.exr:\n"
         "frame_0007.exr, frame_-0007.exr), else several frames add\n"
         "_0001 before the extension",
         "needs a file name", [](RenderOptions &o, const std::string &v, std::string &) { return o.output = v, true; }},
        {nullptr, "--mask", nullptr, "FILE",
         "also write the dirt mask: the shader's weight per pixel, 0 clean\n"
         "to 1 full dirt (.png: grey, linear; .exr: channel Y, unclamped)",
         "needs a file name", [](RenderOptions &o, const std::string &v, std::string &) { return o.mask = v, true; }},
        {nullptr, "--depth", nullptr, "D",
         "pixel depth of the images: 8 or 16 for .png (default 8), half or\n"
         "float for .exr (default half)",
         "needs 8, 16, half or float",
         [](RenderOptions &o, const std::string &v, std::string &) {
             o.depth = v;
             return v == "8" || v == "16" || v == "half" || v == "float";
         }},
        {nullptr, "--width", nullptr, "N", "image width in pixels (--width 1920)", "needs a whole number from 1 to 16384",
         [](RenderOptions &o, const std::string &v, std::string &) { return parse_int(v, 1, kMaxImageSide, o.width); }},
        {nullptr, "--height", nullptr, "N", "image height in pixels (--height 1080)",
         "needs a whole number from 1 to 16384",
         [](RenderOptions &o, const std::string &v, std::string &) { return parse_int(v, 1, kMaxImageSide, o.height); }},
        {nullptr, "--samples", nullptr, "N", "jittered samples per pixel (--samples 16)",
         "needs a whole number from 1 to 1024",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return parse_int(v, 1, kMaxPixelSamples, o.samples);
         }},
        {nullptr, "--frames", nullptr, "A-B",
         "render frames A to B, one image per frame (or one frame: --frames A)",
         "needs A-B with A <= B, or a single frame",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return o.frames_given = true, parse_frames(v, o.first_frame, o.last_frame);
         }},
        {nullptr, "--compare", nullptr, nullptr, "also render without the shader and write both side by side", "",
         [](RenderOptions &o, const std::string &, std::string &) { return o.compare = true; }},
        {nullptr, "--no-ground", nullptr, nullptr, "object renders: no ground plane under the object", "",
         [](RenderOptions &o, const std::string &, std::string &) { return !(o.ground = false); }},
        {nullptr, "--up", nullptr, "AXIS",
         "object renders: the file's up axis, y, z, x, -y, -z or -x\n"
         "(default: as the file states it; Blender files are Z-up,\n"
         "others without a word Y-up)",
         "needs y, z, x, -y, -z or -x",
         [](RenderOptions &o, const std::string &v, std::string &) {
             UpAxis up;
             return o.up = v, up_axis_named(v, up);
         }},
        {nullptr, "--smoothing-angle", nullptr, "[NAME=]DEGREES",
         "smooth polygons meeting at less than this angle, over the\n"
         "file's own angles and normals: on every surface, or on the\n"
         "surfaces named NAME and every surface of an object named\n"
         "NAME; may be repeated (--smoothing-angle 89.5,\n"
         "--smoothing-angle Body=30)",
         "needs DEGREES or NAME=DEGREES, degrees from 0 to 180",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return smoothing_angle_form(v) && (o.smoothing.push_back(v), true);
         }},
        {nullptr, "--set", nullptr, "NAME=VALUE",
         "set a dirt setting on every shaded surface, or with SURFACE: before\n"
         "it (OBJECT/SURFACE: where objects share surface names) on those\n"
         "alone (--set Body:dirt_width=0.05); may be repeated.\n"
         "NAME is a panel value name (dirt_width, dirt_falloff, dirt_amount,\n"
         "sample_theta, sample_jitter, sample_count, sample_itr,\n"
         "sample_scale, single_f, use_color, use_Kd, use_Ks, use_mirror,\n"
         "use_bump, dirt_color, dirt_Kd, dirt_Ks, dirt_mirror, bump) or a\n"
         "saved state's key (dirt_bump). VALUE forms:\n"
         "  number        --set dirt_width=0.3\n"
         "  percent       --set dirt_amount=0.8        (0.8 is 80 %)\n"
         "  angle         --set sample_theta=45        (degrees)\n"
         "  whole number  --set sample_count=16\n"
         "  switch        --set use_color=1           (or true, false)\n"
         "  colour        --set dirt_color=0.2,0.1,0  (or [0.2,0.1,0])\n"
         "  envelope      --set 'dirt_amount={\"envelope\": [[0, 0], [1, 1]]}'\n"
         "                (time in seconds, value)\n"
         "  texture       --set 'dirt_Kd={\"value\": 0.3, \"texture\": [{\"type\":\n"
         "                \"gradient\", \"input\": \"Ambient Occlusion (Low)\",\n"
         "                \"keys\": [[0, 1], [1, 0.2]]}]}'",
         "needs NAME=VALUE",
         [](RenderOptions &o, const std::string &v, std::string &why) {
             std::string setting;
             setting_scope(v, &setting);
             if (setting.find('=') == std::string::npos) return false;
             const std::string name = setting.substr(0, setting.find('='));
             if (setting_kind(name) == SettingKind::Unknown) {
                 why = ": unknown setting \"" + name + "\"" + did_you_mean(name, setting_names());
                 return false;
             }
             return o.settings.push_back(v), true;
         }},
        {nullptr, "--no-dirt", nullptr, "SURFACE",
         "no dirt shader on this surface (OBJECT/SURFACE for one object's);\n"
         "may be repeated (--no-dirt Glass)",
         "needs a surface name", [](RenderOptions &o, const std::string &v, std::string &) {
             return !v.empty() && (o.no_dirt.push_back(v), true);
         }},
        {nullptr, "--ground-dirt", nullptr, "0|1",
         "object renders: 0 keeps the ground plane clean (default 1)", "needs 0 or 1",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return (v == "0" || v == "1") && ((o.ground_dirt = v == "1"), true);
         }},
        {nullptr, "--list-surfaces", nullptr, nullptr,
         "print each object's surfaces, their polygons, smoothing angles and\n"
         "whether the dirt shader is on, and render nothing",
         "", [](RenderOptions &o, const std::string &, std::string &) { return o.list_surfaces = true; }},
        {nullptr, "--save-scene", nullptr, "FILE",
         "write the scene, with the render settings and every shader\n"
         "instance stored by the plug-in itself, to FILE; rendering that\n"
         "file gives the same image; it may replace the scene file read",
         "needs a file name", [](RenderOptions &o, const std::string &v, std::string &) { return o.save_scene = v, true; }},
        {nullptr, "--plugin", nullptr, "FILE", "the plug-in file (default: Ormel_Dirt.p next to this program)",
         "needs a file name", [](RenderOptions &o, const std::string &v, std::string &) { return o.plugin = v, true; }},
        {nullptr, "--quiet", "-q", nullptr, "no progress bar and no summary (warnings still show)", "",
         [](RenderOptions &o, const std::string &, std::string &) { return o.quiet = true; }},
        {nullptr, "--help", "-h", nullptr, "this text", "",
         [](RenderOptions &o, const std::string &, std::string &) { return o.help = true; }},
        {nullptr, "--version", nullptr, nullptr, "the plug-in's version and this build's", "",
         [](RenderOptions &o, const std::string &, std::string &) { return o.version = true; }},

        {"camera (an object render frames the object; a scene keeps its camera unless told):", "--view", nullptr,
         "AZIMUTH,ELEVATION",
         "object renders: look at the object from this direction, degrees\n"
         "round the up axis (0 from the front, looking along +Z; 90 from\n"
         "the right, +X) and above the ground (--view 30,20)",
         "needs AZIMUTH,ELEVATION in degrees, elevation from -90 to 90",
         [](RenderOptions &o, const std::string &v, std::string &) {
             double d[2];
             if (!parse_list(v, 2, -1e6, 1e6, d) || std::fabs(d[1]) > 90.0) return false;
             o.camera.view_given = true, o.camera.azimuth = d[0], o.camera.elevation = d[1];
             return true;
         }},
        {nullptr, "--camera-position", nullptr, "X,Y,Z",
         "the camera's position in the scene (--camera-position 0,1.5,-4);\n"
         "it looks at --look-at, else at the framed object or the scene's\n"
         "own target",
         "needs X,Y,Z",
         [](RenderOptions &o, const std::string &v, std::string &) {
             double d[3];
             if (!parse_list(v, 3, -kMaxCoordinate, kMaxCoordinate, d)) return false;
             o.camera.position_given = true, o.camera.position = {d[0], d[1], d[2]};
             return true;
         }},
        {nullptr, "--look-at", nullptr, "X,Y,Z", "the point the camera looks at (--look-at 0,0.5,0)", "needs X,Y,Z",
         [](RenderOptions &o, const std::string &v, std::string &) {
             double d[3];
             if (!parse_list(v, 3, -kMaxCoordinate, kMaxCoordinate, d)) return false;
             o.camera.look_at_given = true, o.camera.look_at = {d[0], d[1], d[2]};
             return true;
         }},
        {nullptr, "--fov", nullptr, "DEG", "the field of view across the image's width, degrees (--fov 40)",
         "needs degrees above 0 and below 180",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return parse_double(v, 1e-3, 179.0, o.camera.fov);
         }},
        {nullptr, "--distance", nullptr, "D",
         "object renders: the camera this many object radii from the object's\n"
         "centre (default: framed so that the object fills nine tenths of\n"
         "the image; --distance 3)",
         "needs a number of radii from 0.01 to 1000000",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return parse_double(v, 0.01, 1e6, o.camera.distance);
         }},
        {nullptr, "--turntable", nullptr, "N",
         "N frames, one turn of the camera round the point it looks at (the\n"
         "framed object), numbered from 0 like --frames (--turntable 36 -o\n"
         "spin_###.png); with --frames, only those frames of the turn",
         "needs a whole number of frames from 1 to 100000",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return parse_int(v, 1, kMaxTurntableFrames, o.camera.turntable);
         }},

        {"compositing layers (each lines up with the image pixel for pixel):", "--alpha", nullptr, nullptr,
         "a transparent background: the image's alpha is the share of each\n"
         "pixel the scene covers (PNG: RGBA, straight colour; OpenEXR: R, G,\n"
         "B premultiplied and A)",
         "", [](RenderOptions &o, const std::string &, std::string &) { return o.alpha = true; }},
        {nullptr, "--layers", nullptr, "FILE.exr",
         "also write one OpenEXR file per frame (# takes the frame number,\n"
         "as in -o) holding the image R, G, B, its coverage A, the dirt mask\n"
         "dirt.Y, the depth Z along the camera's axis (0 where nothing is),\n"
         "the world normal N.X, N.Y, N.Z and the image without the shader\n"
         "clean.R, clean.G, clean.B (--layers shot_####.exr)",
         "needs a file name", [](RenderOptions &o, const std::string &v, std::string &) { return o.layers = v, true; }},

        {"look:", "--background", nullptr, "R,G,B",
         "the linear colour where camera rays meet nothing (default black;\n"
         "--background 0.18,0.18,0.2)",
         "needs R,G,B, each from 0 to 1000",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return o.background_given = true, parse_list(v, 3, 0.0, 1000.0, o.background);
         }},
        {nullptr, "--light-intensity", nullptr, "I",
         "object renders: the key light's intensity (default 1; a fill light\n"
         "takes 0.35 of it) (--light-intensity 1.5)",
         "needs a number from 0 to 1000",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return parse_double(v, 0.0, 1000.0, o.light_intensity);
         }},
        {nullptr, "--lights", nullptr, "PRESET",
         "object renders: key (one light from above and in front, the\n"
         "default) or key-fill (and a softer light from the other side that\n"
         "lifts the shadows) (--lights key-fill)",
         "needs key or key-fill",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return o.lights = v, v == "key" || v == "key-fill";
         }},
        {nullptr, "--exposure", nullptr, "STOPS",
         "brighten (or darken, below 0) every pixel by this many stops\n"
         "(--exposure 0.5)",
         "needs a number of stops from -64 to 64",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return o.exposure_given = true, parse_double(v, -kMaxExposureStops, kMaxExposureStops, o.exposure);
         }},

        {"farm (a frame range or a large frame split over machines):", "--threads", nullptr, "N",
         "render threads, exactly (default: all cores)", "needs a whole number from 1 to 1024",
         [](RenderOptions &o, const std::string &v, std::string &) { return parse_int(v, 1, kMaxThreads, o.threads); }},
        {nullptr, "--skip-existing", nullptr, nullptr,
         "frames whose every output exists and decodes are not rendered\n"
         "again; a truncated one is (a restarted job carries on)",
         "", [](RenderOptions &o, const std::string &, std::string &) { return o.skip_existing = true; }},
        {nullptr, "--region", nullptr, "X0,Y0,X1,Y1",
         "render only the pixels X0 <= x < X1, Y0 <= y < Y1 of the image and\n"
         "write that window; the windows of a frame put together are the\n"
         "whole frame, pixel for pixel (--region 0,0,960,540)",
         "needs X0,Y0,X1,Y1, whole pixels with X0 < X1 and Y0 < Y1",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return o.region_given = true, parse_region(v, o.region);
         }},

        {"limits on work and memory (raise them when a scene really needs more):", "--max-memory", nullptr, "MIB",
         "memory the scene's geometry, shader instances and images and\n"
         "the frames may take, as estimated before they are made\n"
         "(default 8192); a scene or object file may be at most a\n"
         "sixteenth of it",
         "needs a whole number of MiB from 1 to 1073741824",
         [](RenderOptions &o, const std::string &v, std::string &) {
             long long mib = 0;
             if (!parse_long(v, 1, kMaxMemoryMib, mib)) return false;
             return o.limits.max_memory_mib = static_cast<double>(mib), true;
         }},
        {nullptr, "--max-rays-per-spot", nullptr, "N",
         "rays the shader may cast per shaded spot, sample_count x\n"
         "sample_itr on any surface (default 1024)",
         "needs a whole number from 1 to 4611686018427387904",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return parse_long(v, 1, kMaxRaysPerSpot, o.limits.max_rays_per_spot);
         }},
        {nullptr, "--import-timeout", nullptr, "S",
         "seconds the import of an object file may take (default 300);\n"
         "it runs in a process of its own, held to --max-memory too",
         "needs a number of seconds from 0.1 to 86400",
         [](RenderOptions &o, const std::string &v, std::string &) {
             return parse_double(v, kMinImportTimeout, kMaxImportTimeout, o.limits.import_timeout_seconds);
         }},
    };
    return table;
}

const Option *find_option(const std::string &arg) {
    for (const Option &opt : option_table())
        if (arg == opt.name || (opt.alias && arg == opt.alias)) return &opt;
    return nullptr;
}

// The option's name and value form as --help shows them: "-o, --output FILE".
std::string spelling(const Option &opt) {
    std::string s = opt.alias ? std::string(opt.alias) + ", " + opt.name : opt.name;
    return opt.value ? s + " " + opt.value : s;
}

}  // namespace

std::string render_usage() {
    std::ostringstream out;
    out << "usage: dirt-render [SCENE.json | OBJECT.lwo | OBJECT.obj] [options]\n"
           "\n"
           "Renders a scene with the Ormel_Dirt shader, loading the plug-in file as LightWave does.\n"
           "Without a scene it renders the built-in demo scene (a room corner with stairs, a box and\n"
           "a sphere). Given only an object file, it frames the object with a camera and a light,\n"
           "sets it on a ground plane and applies the shader to every surface, with its width chosen\n"
           "from the object's size unless --set dirt_width is given.\n"
           "\n"
           "options:\n";
    constexpr size_t kColumn = 24;
    for (const Option &opt : option_table()) {
        if (opt.section) out << "\n" << opt.section << "\n";
        std::string head = "  " + spelling(opt);
        head += head.size() + 1 < kColumn ? std::string(kColumn - head.size(), ' ') : "\n" + std::string(kColumn, ' ');
        std::istringstream lines(opt.help);
        std::string line;
        for (bool first = true; std::getline(lines, line); first = false)
            out << (first ? head : std::string(kColumn, ' ')) << line << "\n";
    }
    out << "\n"
           "A scene, object or image file that breaks a limit or a range is refused with one line\n"
           "naming the file, the key and what is allowed; nothing is written, and the exit status\n"
           "is 1 (2 for a mistake on the command line).\n"
           "\n"
           "Files are never written over while read: an output (any frame's image or mask, the\n"
           "saved scene) that is the scene, object, image or plug-in file, or two outputs that are\n"
           "one file in any spelling (./, d/../, a symbolic link), are refused with status 1 before\n"
           "anything is written; so is an output whose folder does not exist (none is created).\n"
           "Each file is written whole to a temporary file beside it and then renamed over the\n"
           "old one: a full disk or a file size limit leaves the old file as it was.\n"
           "\n"
           "docs/scene-format.md describes scene files and every setting.\n";
    return out.str();
}

bool parse_render_options(int argc, const char *const *argv, RenderOptions &o, std::string *error) {
    auto fail = [&](const std::string &msg) {
        if (error) *error = msg;
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const Option *opt = find_option(arg);
        if (!opt && !arg.empty() && arg[0] == '-') {
            std::vector<std::string> names;
            for (const Option &o2 : option_table()) names.push_back(o2.name);
            return fail("unknown option " + arg + did_you_mean(arg, names) + " (see --help)");
        }
        if (!opt) {
            if (!o.input.empty()) return fail("more than one scene given: " + o.input + " and " + arg);
            o.input = arg;
            continue;
        }
        std::string why = std::string(" ") + opt->mistake;
        if (opt->value && i + 1 >= argc) return fail(arg + why);
        const std::string value = opt->value ? argv[++i] : "";
        if (!opt->apply(o, value, why)) return fail(arg + why);
    }
    return true;
}

}  // namespace render
