#include "refhost/image_list.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "refhost/host.h"

namespace refhost {

// The host's file reader, per host: none until its embedder installs one.
struct ImageFiles {
    explicit ImageFiles(Host &) {}
    ImageFileReader reader = nullptr;
    std::string folder;  // where relative names are found; "": the current folder
};

void set_image_file_reader(Host &host, ImageFileReader reader) { host.component<ImageFiles>().reader = reader; }
void set_image_folder(Host &host, const std::string &folder) { host.component<ImageFiles>().folder = folder; }

namespace {

Scene *scene() {
    Host *host = Host::current();
    return host ? &host->scene() : nullptr;
}

std::string base_name(const std::string &path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Image *find_by_filename(Scene &s, const std::string &filename) {
    for (const auto &img : s.images())
        if (img->filename == filename) return img.get();
    return nullptr;
}

bool has_pixel(const Image *img, int x, int y) {
    return img && x >= 0 && y >= 0 && x < img->width && y < img->height &&
           img->rgb.size() >= static_cast<size_t>(img->width) * static_cast<size_t>(img->height) * 3;
}

const float *pixel(const Image *img, int x, int y) {
    return &img->rgb[(static_cast<size_t>(y) * img->width + x) * 3];
}

unsigned char to_byte(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 1.0) return 255;
    return static_cast<unsigned char>(std::lround(v * 255.0));
}

LWImageID il_first() {
    Scene *s = scene();
    return s && !s->images().empty() ? to_id(s->images().front().get()) : nullptr;
}

LWImageID il_next(LWImageID img) {
    Scene *s = scene();
    if (!s || !img) return nullptr;
    const auto &all = s->images();
    for (size_t i = 0; i + 1 < all.size(); ++i)
        if (to_id(all[i].get()) == img) return to_id(all[i + 1].get());
    return nullptr;
}

// A file name as the image list keeps it: found in the image folder when relative, and
// in full when the file exists.
// The plug-in calls through here: nothing may throw back into it.
std::string full_file_name(const std::string &filename) {
    namespace fs = std::filesystem;
    try {
        fs::path path(filename);
        const std::string &folder = Host::current()->component<ImageFiles>().folder;
        if (path.is_relative() && !folder.empty()) path = fs::path(folder) / path;
        std::error_code ec;
        const fs::path full = fs::canonical(path, ec);
        return ec ? path.string() : full.string();
    } catch (const std::exception &) {
        return filename;
    }
}

LWImageID il_load(const char *given) {
    Scene *s = scene();
    if (!s || !given || !*given) return nullptr;
    if (Image *known = find_by_filename(*s, given)) return to_id(known);
    const std::string filename = full_file_name(given);
    if (Image *known = find_by_filename(*s, filename)) return to_id(known);
    ImageFileReader reader = Host::current()->component<ImageFiles>().reader;
    Image loaded;
    if (!reader || !reader(filename, loaded)) return nullptr;
    Image &img = s->add_image(base_name(filename), filename);
    img.width = loaded.width;
    img.height = loaded.height;
    img.rgb = std::move(loaded.rgb);
    return to_id(&img);
}

const char *il_name(LWImageID img) { return img ? from_id(img)->name.c_str() : nullptr; }
const char *il_filename(LWImageID img, LWFrame) { return img ? from_id(img)->filename.c_str() : nullptr; }
int il_is_color(LWImageID img) { return img ? 1 : 0; }
void il_need_aa(LWImageID) {}

void il_size(LWImageID img, int *w, int *h) {
    if (w) *w = img ? from_id(img)->width : 0;
    if (h) *h = img ? from_id(img)->height : 0;
}

double luma_of(const float *p) {
    return 0.2126 * static_cast<double>(p[0]) + 0.7152 * static_cast<double>(p[1]) + 0.0722 * static_cast<double>(p[2]);
}

unsigned char il_luma(LWImageID img, int x, int y) {
    const Image *i = img ? from_id(img) : nullptr;
    return has_pixel(i, x, y) ? to_byte(luma_of(pixel(i, x, y))) : 0;
}

void il_rgb(LWImageID img, int x, int y, unsigned char rgb[3]) {
    const Image *i = img ? from_id(img) : nullptr;
    for (int c = 0; c < 3; ++c) rgb[c] = has_pixel(i, x, y) ? to_byte(static_cast<double>(pixel(i, x, y)[c])) : 0;
}

// Spot queries take the pixel under (x, y), in pixels, clamped to the image.
const float *spot_pixel(LWImageID img, double x, double y) {
    const Image *i = img ? from_id(img) : nullptr;
    if (!i || !has_pixel(i, 0, 0) || !std::isfinite(x) || !std::isfinite(y)) return nullptr;
    const int px = x < 0.0 ? 0 : x >= i->width ? i->width - 1 : static_cast<int>(x);
    const int py = y < 0.0 ? 0 : y >= i->height ? i->height - 1 : static_cast<int>(y);
    return pixel(i, px, py);
}

double il_luma_spot(LWImageID img, double x, double y, double, int) {
    const float *p = spot_pixel(img, x, y);
    return p ? luma_of(p) : 0.0;
}

void il_rgb_spot(LWImageID img, double x, double y, double, int, double rgb[3]) {
    const float *p = spot_pixel(img, x, y);
    for (int c = 0; c < 3; ++c) rgb[c] = p ? static_cast<double>(p[c]) : 0.0;
}

void il_clear(LWImageID img) {
    if (!img) return;
    for (float &v : from_id(img)->rgb) v = 0.0f;
}

LWImageID il_scene_load(const LWLoadState *load) {
    Scene *s = scene();
    if (!s || !load) return nullptr;
    char name[512] = {}, filename[1024] = {};
    if (load->readStr(load->readData, name, sizeof name) < 0) return nullptr;
    if (load->readStr(load->readData, filename, sizeof filename) < 0) return nullptr;
    name[sizeof name - 1] = filename[sizeof filename - 1] = '\0';
    if (!*name && !*filename) return nullptr;
    if (*filename) {
        if (Image *known = find_by_filename(*s, filename)) return to_id(known);
        if (LWImageID loaded = il_load(filename)) {
            if (*name) from_id(loaded)->name = name;
            return loaded;
        }
    }
    return to_id(&s->add_image(*name ? name : base_name(filename), filename));
}

void il_scene_save(const LWSaveState *save, LWImageID img) {
    if (!save) return;
    save->writeStr(save->writeData, img ? from_id(img)->name.c_str() : "");
    save->writeStr(save->writeData, img ? from_id(img)->filename.c_str() : "");
}

}  // namespace

const LWImageList &image_list_funcs() {
    static const LWImageList funcs = {
        il_first, il_next,  il_load,       il_name,     il_filename, il_is_color,   il_need_aa, il_size,
        il_luma,  il_rgb,   il_luma_spot,  il_rgb_spot, il_clear,    il_scene_load, il_scene_save,
    };
    return funcs;
}

}  // namespace refhost
