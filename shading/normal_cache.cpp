#include "shading/normal_cache.h"

namespace ormel {

ObjectAdjacency::~ObjectAdjacency() {
    for (auto &entry : points) delete[] entry.second.polys;
}

NormalCache::~NormalCache() {
    for (ObjectAdjacency *record : records) delete record;
}

void normal_cache_reset() {}

}  // namespace ormel
