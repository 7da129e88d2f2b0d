#include "params/image_refs.h"

#include "params/persistence.h"
#include "params/services.h"

namespace ormel {

const LWBlockIdent kImageBlocks[] = {
    {ID_IREF, "ImageRef"},      {ID_IVAL, "ImageRefValue"},     {ID_IDAT, "ImageRefData"},
    {ID_IENV, "ImageEnvelope"}, {ID_IENV, "ImageEnvelopeData"}, {0, nullptr},
};

namespace {

const LWBlockIdent &kImageRefBlock = kImageBlocks[0];
const LWBlockIdent &kValueBlock = kImageBlocks[1];
const LWBlockIdent &kImageDataBlock = kImageBlocks[2];
const LWBlockIdent &kEnvelopeBlock = kImageBlocks[3];
const LWBlockIdent &kEnvelopeDataBlock = kImageBlocks[4];

// Written for a layer without an image or an image without a name.
const char kEmptyName[] = "";

constexpr int kNameBufferSize = 512;

// Calls fn(envelope) for every channel envelope of every layer of the texture, in layer
// order and, within a layer, channel order; stops early when fn returns false.
template <class Fn>
void for_each_layer_envelope(LWTextureID texture, Fn fn) {
    const LWTextureFuncs *tf = host_services.texture;
    const LWChannelInfo *ci = host_services.channel_info;
    if (!texture || !tf || !ci) return;
    for (LWTLayerID layer = tf->firstLayer(texture); layer; layer = tf->nextLayer(texture, layer)) {
        LWChanGroupID group = tf->layerEnvGroup(layer);
        if (!group) continue;
        for (LWChannelID ch = ci->nextChannel(group, nullptr); ch; ch = ci->nextChannel(group, ch)) {
            LWEnvelopeID env = ci->channelEnvelope(ch);
            if (env && !fn(env)) return;
        }
    }
}

// The image a layer shows, or null.
LWImageID layer_image(LWTLayerID layer) {
    LWImageID image = nullptr;
    if (host_services.texture->getParam(layer, TXTAG_IMAGE, &image) == 0) return nullptr;
    return image;
}

// Opens the next block of the image list; closes and reports false when it is another one
// than wanted. A search that finds nothing opens nothing.
bool open_block(const LWLoadState *load, LWID wanted) {
    const LWID id = load->findBlk(load->readData, kImageBlocks);
    if (id == 0) return false;
    if (id != wanted) {
        load->endBlk(load->readData);
        return false;
    }
    return true;
}

// read_value_block, telling a missing block apart from a stored 0.
bool read_value(const LWLoadState *load, int &value) {
    value = 0;
    if (!open_block(load, ID_IVAL)) return false;
    int v = 0;
    const bool got = load->readI4(load->readData, &v, 1) == 1;
    load->endBlk(load->readData);
    if (got) value = v;
    return got;
}

bool equal_ignoring_case(const char *a, const char *b) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    for (; *a && *b; ++a, ++b)
        if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

}  // namespace

void save_layer_envelopes(LWTextureID texture, const LWSaveState *save) {
    acquire_host_services();
    const LWEnvelopeFuncs *ef = host_services.envelope;
    save->beginBlk(save->writeData, &kEnvelopeBlock, 0);
    int m = 0;
    for_each_layer_envelope(texture, [&](LWEnvelopeID) { return ++m, true; });
    write_value_block(save, m);
    for_each_layer_envelope(texture, [&](LWEnvelopeID env) {
        save->beginBlk(save->writeData, &kEnvelopeDataBlock, 0);
        if (ef) ef->save(env, save);
        save->endBlk(save->writeData);
        return true;
    });
    save->endBlk(save->writeData);
}

void load_layer_envelopes(LWTextureID texture, const LWLoadState *load) {
    acquire_host_services();
    const LWEnvelopeFuncs *ef = host_services.envelope;
    if (!open_block(load, ID_IENV)) return;
    read_value_block(load);  // the stored count; the layers say how many to read
    for_each_layer_envelope(texture, [&](LWEnvelopeID env) {
        const LWID id = load->findBlk(load->readData, kImageBlocks);
        if (id == 0) return false;  // no envelope left in the data
        if (id == ID_IENV && ef) ef->load(env, load);
        load->endBlk(load->readData);
        return true;
    });
    load->endBlk(load->readData);
}

void save_image_refs(LWTextureID texture, const LWSaveState *save) {
    acquire_host_services();
    const LWTextureFuncs *tf = host_services.texture;
    save->beginBlk(save->writeData, &kImageRefBlock, 0);
    int k = 0;
    if (texture && tf)
        for (LWTLayerID layer = tf->firstLayer(texture); layer; layer = tf->nextLayer(texture, layer))
            k += layer_image(layer) != nullptr;
    write_value_block(save, k);
    if (k != 0) {
        int index = 0;
        for (LWTLayerID layer = tf->firstLayer(texture); layer; layer = tf->nextLayer(texture, layer), ++index) {
            LWImageID image = layer_image(layer);
            if (!image) continue;
            write_value_block(save, index);
            save_image_ref(save, image);
        }
    }
    save->endBlk(save->writeData);
}

void load_image_refs(LWTextureID texture, const LWLoadState *load) {
    acquire_host_services();
    const LWTextureFuncs *tf = host_services.texture;
    if (!open_block(load, ID_IREF)) return;
    const int k = read_value_block(load);
    int wanted = 0;
    // A count of 0 (or a negative one, which no writer makes) means no references; a
    // reference whose index block is missing ends the walk, keeping the remaining layers'
    // images as the host's own load left them.
    if (k > 0 && texture && tf && read_value(load, wanted)) {
        int done = 0;
        int index = 0;
        for (LWTLayerID layer = tf->firstLayer(texture); layer; layer = tf->nextLayer(texture, layer), ++index) {
            if (index != wanted) continue;
            LWImageID image = load_image_ref(load);
            tf->setParam(layer, TXTAG_IMAGE, &image);
            if (++done >= k || !read_value(load, wanted)) break;
        }
    }
    load->endBlk(load->readData);
}

void save_image_ref(const LWSaveState *save, LWImageID image) {
    const LWImageList *images = host_services.image_list;
    save->beginBlk(save->writeData, &kImageDataBlock, 0);
    save->writeI4(save->writeData, &kBlockVersion, 1);
    const short flag = image ? 1 : 0;
    save->writeI2(save->writeData, &flag, 1);
    const char *name = image && images ? images->name(image) : nullptr;
    save->writeStr(save->writeData, name ? name : kEmptyName);
    if (image && images && images->sceneSave) images->sceneSave(save, image);
    save->endBlk(save->writeData);
}

LWImageID load_image_ref(const LWLoadState *load) {
    const LWImageList *images = host_services.image_list;
    void *d = load->readData;
    if (!open_block(load, ID_IDAT)) return nullptr;
    LWImageID image = nullptr;
    int version = 0;
    if (load->readI4(d, &version, 1) == 1 && version == kBlockVersion) {
        short flag = 0;
        char name[kNameBufferSize] = "";
        load->readI2(d, &flag, 1);
        load->readStr(d, name, kNameBufferSize);
        name[kNameBufferSize - 1] = '\0';
        if (flag != 0) {
            image = find_image_by_name(name);
            // Only an image the scene lacks is loaded from the data that follows.
            if (!image && images && images->sceneLoad) image = images->sceneLoad(load);
        }
    }
    load->endBlk(d);
    return image;
}

LWImageID find_image_by_name(const char *name) {
    const LWImageList *images = host_services.image_list;
    if (!name || !images) return nullptr;
    for (LWImageID image = images->first(); image; image = images->next(image)) {
        const char *candidate = images->name(image);
        if (candidate && equal_ignoring_case(candidate, name)) return image;
    }
    return nullptr;
}

void write_value_block(const LWSaveState *save, int value) {
    save->beginBlk(save->writeData, &kValueBlock, 0);
    save->writeI4(save->writeData, &value, 1);
    save->endBlk(save->writeData);
}

int read_value_block(const LWLoadState *load) {
    int value = 0;
    read_value(load, value);
    return value;
}

}  // namespace ormel
