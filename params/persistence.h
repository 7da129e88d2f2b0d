// Tables of named settings saved and loaded as one "PluginDataLib" block, and the block
// identifiers of the parameter library's saved data.
//
// Layout: "PluginDataLib" holds the number of items and then one "PluginDataParam" block
// per item with its name, its type code and its payload. Items are matched on load by name
// and type, so rows may be added to or removed from a table without breaking older data.
#ifndef ORMEL_PARAMS_PERSISTENCE_H
#define ORMEL_PARAMS_PERSISTENCE_H

#include <cstdint>

#include "host/lwsdk.h"

namespace ormel {

class PluginDataParam;

// Item type codes: four characters, most significant first.
constexpr uint32_t PBIN = 0x5042494E;  // count bytes
constexpr uint32_t PDBL = 0x5044424C;  // count doubles, as big-endian IEEE bytes
constexpr uint32_t PFLT = 0x50464C54;  // count floats
constexpr uint32_t PINT = 0x50494E54;  // count int32
constexpr uint32_t PSTR = 0x50535452;  // a text buffer of count bytes
constexpr uint32_t PUNT = 0x50554E54;  // count uint32
constexpr uint32_t PUSR = 0x50555352;  // anything, through the row's own writer and reader
constexpr uint32_t PVEV = 0x50564556;  // count PluginDataVparamPair
constexpr uint32_t PVPR = 0x50565052;  // count PluginDataParam objects, one after another
constexpr uint32_t PVTX = 0x50565458;  // count PluginDataTexture holders

// Block identifiers.
constexpr LWID ID_PDLB = 0x50444C42;  // "PluginDataLib"
constexpr LWID ID_PDPR = 0x50445052;  // "PluginDataParam"
constexpr LWID ID_VPRM = 0x5650524D;  // "Vparam"
constexpr LWID ID_VENV = 0x56454E56;  // "VparamEnv"
constexpr LWID ID_PTEX = 0x50544558;  // "Texture"

// The version that "Vparam" and "Texture" blocks begin with; readers accept no other.
constexpr int kBlockVersion = 256;

// Lists of identifiers to search for, each ended by a zero entry.
extern const LWBlockIdent kPluginDataLibBlocks[];  // {PDLB}
extern const LWBlockIdent kPluginDataParamBlocks[];  // {PDPR}
extern const LWBlockIdent kVparamBlocks[];         // {VPRM, VENV}
extern const LWBlockIdent kTextureBlocks[];        // {PTEX}

typedef void PluginDataSaveFn(const LWSaveState *save, void *data);
typedef void PluginDataLoadFn(const LWLoadState *load, void *data);

// One row of a settings table; a row whose name is null ends the table.
struct PluginDataItem {
    const char *name;           // the key the setting is stored under
    uint32_t type;              // item type code
    void *data;                 // where the setting lives; null rows are neither written nor read
    int count;                  // number of elements; for PSTR the size of the text buffer
    PluginDataSaveFn *save_fn;  // PUSR writer, may be null
    PluginDataLoadFn *load_fn;  // PUSR reader, may be null
};

// A PVEV element: a word the library leaves alone, and the parameter.
struct PluginDataVparamPair {
    uint32_t word;
    PluginDataParam *param;
};

// A PVTX element: a texture and three words the library leaves alone.
struct PluginDataTexture {
    uint32_t word0;
    LWTextureID texture;
    uint32_t word2;
    uint32_t word3;
};

// Write a table as one "PluginDataLib" block; read one back into the table. Loading
// leaves every row without a matching, intact item at its current value.
void plugin_data_save(const LWSaveState *save, const PluginDataItem *table);
void plugin_data_load(const LWLoadState *load, const PluginDataItem *table);

// Write and read the "Texture" block of a holder's texture.
void plugin_data_texture_save(const LWSaveState *save, const PluginDataTexture &holder);
void plugin_data_texture_load(const LWLoadState *load, const PluginDataTexture &holder);

}  // namespace ormel

#endif
