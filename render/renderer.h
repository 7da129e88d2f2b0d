// The renderer behind dirt-render: a pinhole camera, jittered samples per pixel, tiles on
// several threads, and the ray caster's shading of every hit (surface shaders included).
#ifndef RENDER_RENDERER_H
#define RENDER_RENDERER_H

#include <functional>

#include "render/host_names.h"
#include "render/png_image.h"
#include "render/scene_file.h"

namespace refhost {
class Host;
}  // namespace refhost

namespace render {

class RayCaster;

struct FrameStats {
    long spots_shaded = 0;  // shader evaluations on spots the renderer shaded
    long plugin_rays = 0;   // rays the shaders cast through the host
    double seconds = 0.0;
};

struct RendererOptions {
    int width = 640, height = 480, samples = 4;
    int threads = 0;       // 0: every core
    // The window of the image rendered, pixels x0 <= x < x1, y0 <= y < y1; the frame holds
    // just those, each as the whole image's pixel. x1 == 0: the whole image.
    int region[4] = {0, 0, 0, 0};
    double exposure_scale = 1.0;  // each beauty pixel times this
    // Beauty: a camera sample that meets nothing adds nothing (a transparent background,
    // premultiplied by the Geometry pass's coverage) instead of the backdrop.
    bool transparent = false;
    // Told the share of the frame done so far (0 to 1), a few times a second, on the
    // thread that called render_frame; none when empty.
    std::function<void(double)> progress;
};

// What a frame's pixels hold: the lit colour seen along each camera sample, the colour
// of the first spot it meets after the surface's shaders ran, unlit (the mask pass), or
// its geometry: the world normal at the first spot (averaged over the samples that hit,
// unit length), with the `aux` image holding the share of samples that hit (alpha) and
// the nearest hit's depth along the camera's axis (0 where none hit).
enum class Pass { Beauty, Spot, Geometry };

class Renderer {
public:
    Renderer(Host &host, const RendererOptions &options);
    ~Renderer();
    Renderer(const Renderer &) = delete;
    Renderer &operator=(const Renderer &) = delete;

    // Calls every bound shader's init; once before the first frame.
    void begin();
    // Renders one frame at a time: sets the scene's time, calls newTime on every bound
    // shader, then shades every pixel.
    FrameStats render_frame(int frame, double time, RgbImage &image, Pass pass = Pass::Beauty,
                            RgbImage *aux = nullptr);
    // Calls every bound shader's cleanup; once after the last frame.
    void end();

    int threads() const { return threads_; }
    // The render threads the last frame had: fewer than threads() when the system would
    // not start as many.
    int started_threads() const { return started_threads_; }

private:
    // The pixels a frame renders: the region when one is given, else the whole image.
    struct Window {
        int x0, y0, x1, y1;
    };
    Window window() const;
    void render_tiles(RgbImage &image, RgbImage *aux, FrameStats &stats);
    void shade_pixel(int x, int y, float *out, float *aux) const;

    Host &host_;
    RendererOptions options_;
    int threads_;
    int started_threads_ = 0;
    RayCaster *caster_;
    // The camera at the frame's time.
    Vec3d eye_, right_, up_, forward_;
    double zoom_ = 3.2;
    Pass pass_ = Pass::Beauty;
};

}  // namespace render

#endif
