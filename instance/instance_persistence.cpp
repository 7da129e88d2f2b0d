// Saving and loading an instance: a version word and then the settings table as one
// "PluginDataLib" block. The same table serves both directions.
#include "instance/dirt_instance.h"
#include "params/persistence.h"

namespace ormel {

namespace {

// The version every stored instance begins with; any other leaves the instance alone.
constexpr int kInstanceVersion = 256;

// The settings in stored order, parameters and plain values interleaved; ends with a null row.
struct SettingsTable {
    PluginDataItem rows[20];

    explicit SettingsTable(DirtInstance &d)
        : rows{
              {"dirt_width", PVPR, d.dirt_width, 1, nullptr, nullptr},
              {"dirt_falloff", PVPR, d.dirt_falloff, 1, nullptr, nullptr},
              {"sample_theta", PDBL, &d.sample_theta, 1, nullptr, nullptr},
              {"sample_jitter", PDBL, &d.sample_jitter, 1, nullptr, nullptr},
              {"sample_count", PINT, &d.sample_count, 1, nullptr, nullptr},
              {"sample_itr", PINT, &d.sample_itr, 1, nullptr, nullptr},
              {"sample_scale", PDBL, &d.sample_scale, 1, nullptr, nullptr},
              {"single_f", PINT, &d.single_f, 1, nullptr, nullptr},
              {"dirt_amount", PVPR, d.dirt_amount, 1, nullptr, nullptr},
              {"dirt_color", PVPR, d.dirt_color, 1, nullptr, nullptr},
              {"dirt_Kd", PVPR, d.dirt_Kd, 1, nullptr, nullptr},
              {"dirt_Ks", PVPR, d.dirt_Ks, 1, nullptr, nullptr},
              {"dirt_mirror", PVPR, d.dirt_mirror, 1, nullptr, nullptr},
              {"dirt_bump", PVPR, d.dirt_bump, 1, nullptr, nullptr},
              {"use_color", PINT, &d.use_color, 1, nullptr, nullptr},
              {"use_Kd", PINT, &d.use_Kd, 1, nullptr, nullptr},
              {"use_Ks", PINT, &d.use_Ks, 1, nullptr, nullptr},
              {"use_mirror", PINT, &d.use_mirror, 1, nullptr, nullptr},
              {"use_bump", PINT, &d.use_bump, 1, nullptr, nullptr},
              {nullptr, 0, nullptr, 0, nullptr, nullptr},
          } {}
};

}  // namespace

namespace dirt {

LWError save(LWInstance inst, const LWSaveState *save) {
    auto *d = static_cast<DirtInstance *>(inst);
    if (!d || !save) return nullptr;
    save->writeI4(save->writeData, &kInstanceVersion, 1);
    SettingsTable table(*d);
    plugin_data_save(save, table.rows);
    return nullptr;
}

LWError load(LWInstance inst, const LWLoadState *load) {
    auto *d = static_cast<DirtInstance *>(inst);
    if (!d || !load) return nullptr;
    int version = 0;
    load->readI4(load->readData, &version, 1);
    if (version != kInstanceVersion) return nullptr;
    SettingsTable table(*d);
    plugin_data_load(load, table.rows);
    return nullptr;
}

}  // namespace dirt
}  // namespace ormel
