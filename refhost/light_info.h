// "LW Light Info 3", "LW Scene Info 3" and "LW Backdrop Info 2".
//
// The light and backdrop functions work on the current host's scene; an ID that is not one
// of its lights is answered with type 0, flags 0, no shadows and untouched outputs. The
// scene record is plain data: `SceneInfoRecord` keeps one per host and refreshes its counts on request.
#ifndef REFHOST_LIGHT_INFO_H
#define REFHOST_LIGHT_INFO_H

#include <string>

#include "host/lwsdk.h"
#include "refhost/scene.h"

namespace refhost {

class Host;

LWLightInfo *light_info_table();
LWBackdropInfo *backdrop_info_table();

// Shadow types a light reports (the host's LWLSHAD_ codes): the reference host traces
// shadow rays for every light.
constexpr int kShadowOff = 0;
constexpr int kShadowRaytrace = 1;

// The scene record handed out as "LW Scene Info 3".
class SceneInfoRecord {
public:
    explicit SceneInfoRecord(Host &host);
    // Recounts points and polygons over every object of the scene.
    void refresh();
    LWSceneInfo *record() { return &info_; }

private:
    Host &host_;
    std::string name_ = "Reference Scene";
    std::string filename_ = "reference.lws";
    LWSceneInfo info_{};
};

}  // namespace refhost

#endif
