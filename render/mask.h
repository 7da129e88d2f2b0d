// The dirt mask: the weight with which the shader pulled each pixel's spots towards the
// dirt (0 clean, 1 full dirt), measured by the plug-in itself.
//
// For the mask pass every surface that carries the shader gets, in place of its instance,
// a copy of it (the host's instance copy: the same width, falloff, amount, sampling and
// textures) that changes the colour channel alone and pulls it towards a white dirt
// colour; every surface's base colour is black for the pass. The shader sets a spot's
// colour to (1 − w) · 0 + w · 1 = w, its weight, and the renderer writes the colour of the
// first surface each camera sample meets, unlit, averaged over the pixel's samples as in
// the beauty image. The weight is (1 − ratio^falloff) × amount, so an amount above 100 %
// gives values above 1 and a negative amount or falloff values below 0; PNG files clamp
// them to 0..1, OpenEXR files keep them.
#ifndef RENDER_MASK_H
#define RENDER_MASK_H

#include <string>
#include <vector>

#include "refhost/scene.h"
#include "refhost/shader_server.h"
#include "render/host_names.h"

namespace render {

class MaskShaders {
public:
    MaskShaders(Host &host, const ShaderServer &server) : host_(host), server_(server) {}
    ~MaskShaders();
    MaskShaders(const MaskShaders &) = delete;
    MaskShaders &operator=(const MaskShaders &) = delete;

    // Makes the mask copy of every instance of the server bound to a surface. False with a
    // one-line reason when the plug-in refuses one.
    bool create(std::string *error);
    // The render callbacks of the copies, around the whole render as for the originals.
    void begin();
    void end();

    // Binds the copies and blackens every surface for the mask pass; `restore` undoes it.
    void bind();
    void restore();

private:
    struct Entry {
        Surface *surface;
        std::vector<ShaderBinding> kept;  // the surface's own shaders
        LWInstance copy = nullptr;
    };
    Host &host_;
    const ShaderServer &server_;
    std::vector<Entry> entries_;
    std::vector<SurfaceValues> saved_values_;  // every surface's own, while bound
    bool bound_ = false;
};

}  // namespace render

#endif
