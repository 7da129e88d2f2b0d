// The "Vparam" block of one parameter: the version, the host's own save of the variant
// parameter, its envelopes in "VparamEnv" blocks, and for a textured parameter the image
// references and layer envelopes of its texture.
#include "params/image_refs.h"
#include "params/persistence.h"
#include "params/plugin_data_param.h"
#include "params/services.h"

namespace ormel {

namespace {

const LWBlockIdent &kVparamBlock = kVparamBlocks[0];
const LWBlockIdent &kVparamEnvBlock = kVparamBlocks[1];

// The envelopes that are stored: the first when there is one, the second and third only
// when both exist. Fills out and returns how many it put there.
int stored_envelopes(LWEnvelopeID env[3], LWEnvelopeID out[3]) {
    int n = 0;
    if (env[0]) out[n++] = env[0];
    if (env[1] && env[2]) {
        out[n++] = env[1];
        out[n++] = env[2];
    }
    return n;
}

}  // namespace

void PluginDataParam::save(const LWSaveState *save) const {
    const LWVParmFuncs *vp = param_services.vparm;
    const LWEnvelopeFuncs *ef = param_services.envelope;
    save->beginBlk(save->writeData, &kVparamBlock, 0);
    save->writeI4(save->writeData, &kBlockVersion, 1);
    if (!vp) {
        save->endBlk(save->writeData);
        return;
    }
    vp->save(vparm, save);

    LWEnvelopeID env[3] = {nullptr, nullptr, nullptr};
    vp->getEnv(vparm, env);
    LWEnvelopeID stored[3];
    const int n = stored_envelopes(env, stored);
    for (int i = 0; i < n; ++i) {
        save->beginBlk(save->writeData, &kVparamEnvBlock, 0);
        if (ef) ef->save(stored[i], save);
        save->endBlk(save->writeData);
    }

    if (vp->getState(vparm) & LWVPSF_TEX) {
        LWTextureID texture = vp->getTex(vparm);
        save_layer_envelopes(texture, save);
        save_image_refs(texture, save);
    }
    save->endBlk(save->writeData);
}

void PluginDataParam::load(const LWLoadState *load) {
    const LWVParmFuncs *vp = param_services.vparm;
    const LWEnvelopeFuncs *ef = param_services.envelope;
    void *d = load->readData;
    const LWID id = load->findBlk(d, kVparamBlocks);
    if (id == 0) return;  // nothing opened, nothing to close
    int version = 0;
    if (id == ID_VPRM && vp && load->readI4(d, &version, 1) == 1 && version == kBlockVersion) {
        vp->load(vparm, load);

        // The envelopes as the host's load left them say which blocks follow.
        LWEnvelopeID env[3] = {nullptr, nullptr, nullptr};
        vp->getEnv(vparm, env);
        LWEnvelopeID stored[3];
        const int n = stored_envelopes(env, stored);
        for (int i = 0; i < n; ++i) {
            const LWID found = load->findBlk(d, kVparamBlocks);
            if (found == 0) break;
            if (found == ID_VENV && ef) ef->load(stored[i], load);
            load->endBlk(d);
        }

        if (vp->getState(vparm) & LWVPSF_TEX) {
            LWTextureID texture = vp->getTex(vparm);
            load_layer_envelopes(texture, load);
            load_image_refs(texture, load);
        }
    }
    load->endBlk(d);
}

}  // namespace ormel
