// The image references and layer envelopes that a texture carries in saved data, beside
// the host's own save of the texture.
//
// "ImageEnvelope" holds the number of layer channels that have an envelope and then one
// "ImageEnvelopeData" block per such channel. "ImageRef" holds the number of layers that
// show an image and then, per such layer, its index and an "ImageRefData" block that names
// the image and carries the host's save of it. On load an image of the same name already
// in the scene (letter case aside) is used; only otherwise is the saved image loaded.
#ifndef ORMEL_PARAMS_IMAGE_REFS_H
#define ORMEL_PARAMS_IMAGE_REFS_H

#include "host/lwsdk.h"

namespace ormel {

constexpr LWID ID_IREF = 0x49524546;  // "ImageRef"
constexpr LWID ID_IVAL = 0x4956414C;  // "ImageRefValue"
constexpr LWID ID_IDAT = 0x49444154;  // "ImageRefData"
constexpr LWID ID_IENV = 0x49454E56;  // "ImageEnvelope" and "ImageEnvelopeData"

// The one list every reader here searches with: the five blocks above, zero-terminated.
extern const LWBlockIdent kImageBlocks[];

void save_layer_envelopes(LWTextureID texture, const LWSaveState *save);
void load_layer_envelopes(LWTextureID texture, const LWLoadState *load);

void save_image_refs(LWTextureID texture, const LWSaveState *save);
void load_image_refs(LWTextureID texture, const LWLoadState *load);

// One "ImageRefData" block; the image may be null.
void save_image_ref(const LWSaveState *save, LWImageID image);
LWImageID load_image_ref(const LWLoadState *load);

// The first scene image whose name equals name without regard to ASCII letter case.
LWImageID find_image_by_name(const char *name);

// One "ImageRefValue" block holding a 32-bit integer; reading yields 0 when none is found.
void write_value_block(const LWSaveState *save, int value);
int read_value_block(const LWLoadState *load);

}  // namespace ormel

#endif
