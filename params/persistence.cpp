#include "params/persistence.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "params/image_refs.h"
#include "params/plugin_data_param.h"
#include "params/services.h"

namespace ormel {

const LWBlockIdent kPluginDataLibBlocks[] = {{ID_PDLB, "PluginDataLib"}, {0, nullptr}};
const LWBlockIdent kPluginDataParamBlocks[] = {{ID_PDPR, "PluginDataParam"}, {0, nullptr}};
const LWBlockIdent kVparamBlocks[] = {{ID_VPRM, "Vparam"}, {ID_VENV, "VparamEnv"}, {0, nullptr}};
const LWBlockIdent kTextureBlocks[] = {{ID_PTEX, "Texture"}, {0, nullptr}};

namespace {

// Names read back from the data are cut to this size.
constexpr int kNameBufferSize = 512;

size_t element_count(const PluginDataItem &row) { return row.count > 0 ? static_cast<size_t>(row.count) : 0; }

// ---- Writing one item's payload.

void save_doubles(const LWSaveState *save, const double *values, size_t n) {
    // Each double as its IEEE bytes, most significant first, all in one write.
    std::vector<unsigned char> bytes(n * 8);
    for (size_t i = 0; i < n; ++i) {
        uint64_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        for (size_t b = 0; b < 8; ++b) bytes[i * 8 + b] = static_cast<unsigned char>(bits >> (56 - 8 * b));
    }
    if (!bytes.empty()) save->writeU1(save->writeData, bytes.data(), static_cast<int>(bytes.size()));
}

void save_payload(const LWSaveState *save, const PluginDataItem &row) {
    const size_t n = element_count(row);
    const int count = static_cast<int>(n);
    switch (row.type) {
    case PBIN:
        if (n) save->writeU1(save->writeData, static_cast<const unsigned char *>(row.data), count);
        break;
    case PDBL:
        save_doubles(save, static_cast<const double *>(row.data), n);
        break;
    case PFLT:
        if (n) save->writeFP(save->writeData, static_cast<const float *>(row.data), count);
        break;
    case PINT:
        if (n) save->writeI4(save->writeData, static_cast<const int *>(row.data), count);
        break;
    case PSTR: {
        // The buffer need not hold a terminator: never read past its count bytes.
        const char *text = static_cast<const char *>(row.data);
        std::string bounded(text, strnlen(text, n));
        save->writeStr(save->writeData, bounded.c_str());
        break;
    }
    case PUNT:
        if (n) save->writeU4(save->writeData, static_cast<const unsigned int *>(row.data), count);
        break;
    case PUSR:
        if (row.save_fn) row.save_fn(save, row.data);
        break;
    case PVEV: {
        const auto *pairs = static_cast<const PluginDataVparamPair *>(row.data);
        for (size_t i = 0; i < n; ++i)
            if (pairs[i].param) pairs[i].param->save(save);
        break;
    }
    case PVPR: {
        const auto *params = static_cast<const PluginDataParam *>(row.data);
        for (size_t i = 0; i < n; ++i) params[i].save(save);
        break;
    }
    case PVTX: {
        const auto *holders = static_cast<const PluginDataTexture *>(row.data);
        for (size_t i = 0; i < n; ++i) plugin_data_texture_save(save, holders[i]);
        break;
    }
    default:
        break;  // a type the library does not know has no payload
    }
}

// ---- Reading one item's payload. Values are read into scratch space first and only the
// complete ones are copied into the row, so a cut-off item cannot leave a half-written value.

template <class T>
void commit(const PluginDataItem &row, const std::vector<T> &got, int read) {
    if (read <= 0) return;
    const size_t n = std::min(static_cast<size_t>(read), got.size());
    std::memcpy(row.data, got.data(), n * sizeof(T));
}

void load_doubles(const LWLoadState *load, const PluginDataItem &row, size_t n) {
    std::vector<unsigned char> bytes(n * 8);
    const int read = load->readU1(load->readData, bytes.data(), static_cast<int>(bytes.size()));
    const size_t whole = read > 0 ? std::min(static_cast<size_t>(read), bytes.size()) / 8 : 0;
    auto *out = static_cast<double *>(row.data);
    for (size_t i = 0; i < whole; ++i) {
        uint64_t bits = 0;
        for (size_t b = 0; b < 8; ++b) bits = (bits << 8) | bytes[i * 8 + b];
        std::memcpy(&out[i], &bits, sizeof bits);
    }
}

void load_payload(const LWLoadState *load, const PluginDataItem &row) {
    const size_t n = element_count(row);
    const int count = static_cast<int>(n);
    void *d = load->readData;
    switch (row.type) {
    case PBIN: {
        if (!n) break;
        std::vector<unsigned char> got(n);
        commit(row, got, load->readU1(d, got.data(), count));
        break;
    }
    case PDBL:
        if (n) load_doubles(load, row, n);
        break;
    case PFLT: {
        if (!n) break;
        std::vector<float> got(n);
        commit(row, got, load->readFP(d, got.data(), count));
        break;
    }
    case PINT: {
        if (!n) break;
        std::vector<int> got(n);
        commit(row, got, load->readI4(d, got.data(), count));
        break;
    }
    case PSTR: {
        if (!n) break;
        std::vector<char> got(n, '\0');
        if (load->readStr(d, got.data(), count) > 0) {
            got[n - 1] = '\0';
            std::memcpy(row.data, got.data(), n);
        }
        break;
    }
    case PUNT: {
        if (!n) break;
        std::vector<unsigned int> got(n);
        commit(row, got, load->readU4(d, got.data(), count));
        break;
    }
    case PUSR:
        if (row.load_fn) row.load_fn(load, row.data);
        break;
    case PVEV: {
        auto *pairs = static_cast<PluginDataVparamPair *>(row.data);
        for (size_t i = 0; i < n; ++i)
            if (pairs[i].param) pairs[i].param->load(load);
        break;
    }
    case PVPR: {
        auto *params = static_cast<PluginDataParam *>(row.data);
        for (size_t i = 0; i < n; ++i) params[i].load(load);
        break;
    }
    case PVTX: {
        const auto *holders = static_cast<const PluginDataTexture *>(row.data);
        for (size_t i = 0; i < n; ++i) plugin_data_texture_load(load, holders[i]);
        break;
    }
    default:
        break;
    }
}

const PluginDataItem *find_row(const PluginDataItem *table, const char *name, uint32_t type) {
    for (const PluginDataItem *row = table; row->name; ++row)
        if (row->type == type && std::strcmp(row->name, name) == 0) return row;
    return nullptr;
}

// Reads one "PluginDataParam" block, which findBlk has just opened.
void load_item(const LWLoadState *load, const PluginDataItem *table) {
    char name[kNameBufferSize];
    if (load->readStr(load->readData, name, kNameBufferSize) <= 0) return;
    name[kNameBufferSize - 1] = '\0';
    unsigned int type = 0;
    if (load->readU4(load->readData, &type, 1) <= 0) return;
    const PluginDataItem *row = find_row(table, name, type);
    if (row && row->data) load_payload(load, *row);
}

}  // namespace

void plugin_data_save(const LWSaveState *save, const PluginDataItem *table) {
    if (!save || !table) return;
    int n = 0;
    for (const PluginDataItem *row = table; row->name; ++row) n += row->data != nullptr;

    save->beginBlk(save->writeData, &kPluginDataLibBlocks[0], 0);
    save->writeI4(save->writeData, &n, 1);
    for (const PluginDataItem *row = table; row->name; ++row) {
        if (!row->data) continue;
        save->beginBlk(save->writeData, &kPluginDataParamBlocks[0], 0);
        save->writeStr(save->writeData, row->name);
        const unsigned int type = row->type;
        save->writeU4(save->writeData, &type, 1);
        save_payload(save, *row);
        save->endBlk(save->writeData);
    }
    save->endBlk(save->writeData);
}

void plugin_data_load(const LWLoadState *load, const PluginDataItem *table) {
    if (!load || !table) return;
    void *d = load->readData;
    const LWID lib = load->findBlk(d, kPluginDataLibBlocks);
    if (lib == 0) return;  // nothing opened, nothing to close
    if (lib == ID_PDLB) {
        int n = 0;
        if (load->readI4(d, &n, 1) != 1) n = 0;
        // The count comes from the data: stop as soon as no item block is left, so that
        // a huge count cannot keep the loop going.
        for (int i = 0; i < n; ++i) {
            const LWID item = load->findBlk(d, kPluginDataParamBlocks);
            if (item == 0) break;
            if (item == ID_PDPR) load_item(load, table);
            load->endBlk(d);
        }
    }
    load->endBlk(d);
}

void plugin_data_texture_save(const LWSaveState *save, const PluginDataTexture &holder) {
    acquire_param_services();
    const LWTextureFuncs *tf = param_services.texture;
    save->beginBlk(save->writeData, &kTextureBlocks[0], 0);
    save->writeI4(save->writeData, &kBlockVersion, 1);
    if (holder.texture && tf && tf->save) tf->save(holder.texture, save);
    save_layer_envelopes(holder.texture, save);
    save_image_refs(holder.texture, save);
    save->endBlk(save->writeData);
}

void plugin_data_texture_load(const LWLoadState *load, const PluginDataTexture &holder) {
    acquire_param_services();
    const LWTextureFuncs *tf = param_services.texture;
    void *d = load->readData;
    const LWID id = load->findBlk(d, kTextureBlocks);
    if (id == 0) return;
    int version = 0;
    if (id == ID_PTEX && load->readI4(d, &version, 1) == 1 && version == kBlockVersion) {
        if (holder.texture && tf && tf->load) tf->load(holder.texture, load);
        load_layer_envelopes(holder.texture, load);
        load_image_refs(holder.texture, load);
    }
    load->endBlk(d);
}

}  // namespace ormel
