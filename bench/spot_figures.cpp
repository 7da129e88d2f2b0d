#include "bench/spot_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "common/vec.h"
#include "refhost/shading_spot.h"
#include "shading/dirt_blend.h"
#include "shading/noise.h"
#include "shading/sample_direction.h"

namespace bench {

double floor_spot(const ormel::DirtInstance &inst, const LWShaderAccess &a, double distance) {
    using namespace ormel;
    constexpr double kThetaMax = 1.562069680534925, kThetaMin = 0.008726646259971648;
    Vec3 T1(a.oXfrm[0], a.oXfrm[3], a.oXfrm[6]);
    Vec3 T2(a.oXfrm[1], a.oXfrm[4], a.oXfrm[7]);
    vec_normalize(T1);
    vec_normalize(T2);
    Vec3 N(a.wNorm0);
    vec_normalize(N);
    const Vec3 origin(a.wPos);
    const double scale = inst.sample_scale;
    Vec3 P, O;
    if (scale != 0.0) {
        P = Vec3(a.oPos[0] / scale, a.oPos[1] / scale, a.oPos[2] / scale);
        O = Vec3(12.3 / scale, 45.6 / scale, 78.9 / scale);
    }
    const SampleFrame frame = sample_frame(N, T1, T2);
    double nearest = 1e16;
    for (int i = 0; i < inst.sample_itr; ++i) {
        for (int j = 0; j < inst.sample_count; ++j) {
            const double u = (gradient_noise(P) + 1.0) * 0.5;
            P = P + O;
            const double v = (gradient_noise(P) + 1.0) * 0.5;
            P = P + O;
            double theta = (u - 0.5) * (2.0 * inst.sample_jitter) + inst.sample_theta;
            if (theta > kThetaMax)
                theta = kThetaMax;
            else if (!(theta >= kThetaMin))
                theta = kThetaMin;
            const double phi = (j + v) * 6.283185307179586 / inst.sample_count;
            Vec3 D = sample_direction(frame, theta, phi);
            vec_normalize(D);
            const Vec3 H = origin + distance * D;
            const double m = dirt_distance(H, origin, &a);
            if (!(m >= nearest)) nearest = m;
        }
    }
    return nearest;
}

PeerOcclusion::PeerOcclusion(const refhost::Scene &scene) {
    device_ = rtcNewDevice("threads=1");
    scene_ = rtcNewScene(device_);
    double extent = 1.0;
    for (const refhost::Item *object : scene.objects()) {
        const auto g = refhost::build_object_geometry(scene, *object, scene.current_time);
        std::vector<float> vertices;
        std::vector<unsigned> indices;
        for (const refhost::Polygon *polygon : g->polygons) {
            const unsigned base = static_cast<unsigned>(vertices.size() / 3);
            for (const refhost::Point *p : polygon->vertices) {
                const refhost::Vec3d w = g->position(p);
                extent = std::max({extent, std::fabs(w.x), std::fabs(w.y), std::fabs(w.z)});
                vertices.insert(vertices.end(), {static_cast<float>(w.x), static_cast<float>(w.y), static_cast<float>(w.z)});
            }
            for (size_t k = 1; k + 1 < polygon->vertices.size(); ++k)
                indices.insert(indices.end(), {base, base + static_cast<unsigned>(k), base + static_cast<unsigned>(k + 1)});
        }
        if (indices.empty()) continue;
        RTCGeometry geom = rtcNewGeometry(device_, RTC_GEOMETRY_TYPE_TRIANGLE);
        std::copy(vertices.begin(), vertices.end(),
                  static_cast<float *>(rtcSetNewGeometryBuffer(geom, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                               3 * sizeof(float), vertices.size() / 3)));
        std::copy(indices.begin(), indices.end(),
                  static_cast<unsigned *>(rtcSetNewGeometryBuffer(geom, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                                  3 * sizeof(unsigned), indices.size() / 3)));
        rtcCommitGeometry(geom);
        rtcAttachGeometry(scene_, geom);
        rtcReleaseGeometry(geom);
    }
    rtcCommitScene(scene_);
    epsilon_ = 1e-5 * extent;
}

PeerOcclusion::~PeerOcclusion() {
    if (scene_) rtcReleaseScene(scene_);
    if (device_) rtcReleaseDevice(device_);
}

namespace {

// A small counter-based generator: the peer's jitter.
inline double unit_random(uint64_t &state) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) * (1.0 / 9007199254740992.0);
}

}  // namespace

double PeerOcclusion::shade(const LWShaderAccess &spot, int rays, double cone, double width) const {
    const double n[3] = {spot.wNorm0[0], spot.wNorm0[1], spot.wNorm0[2]};
    // A tangent frame about the normal.
    const double a[3] = {std::fabs(n[0]) > 0.9 ? 0.0 : 1.0, std::fabs(n[0]) > 0.9 ? 1.0 : 0.0, 0.0};
    double t[3] = {a[1] * n[2] - a[2] * n[1], a[2] * n[0] - a[0] * n[2], a[0] * n[1] - a[1] * n[0]};
    const double tl = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
    for (double &c : t) c /= tl;
    const double b[3] = {n[1] * t[2] - n[2] * t[1], n[2] * t[0] - n[0] * t[2], n[0] * t[1] - n[1] * t[0]};
    const double sin_cone = std::sin(cone);
    uint64_t state = static_cast<uint64_t>(std::fabs(spot.wPos[0]) * 1e6) ^ 0x9E3779B97F4A7C15ull;
    int occluded = 0;
    for (int i = 0; i < rays; ++i) {
        // Cosine-weighted within the cone.
        const double s = sin_cone * std::sqrt(unit_random(state));
        const double c = std::sqrt(1.0 - s * s);
        const double phi = 6.283185307179586 * unit_random(state);
        const double cp = std::cos(phi), sp = std::sin(phi);
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRayHit rh{};
        rh.ray.org_x = static_cast<float>(spot.wPos[0]);
        rh.ray.org_y = static_cast<float>(spot.wPos[1]);
        rh.ray.org_z = static_cast<float>(spot.wPos[2]);
        rh.ray.dir_x = static_cast<float>(c * n[0] + s * (cp * t[0] + sp * b[0]));
        rh.ray.dir_y = static_cast<float>(c * n[1] + s * (cp * t[1] + sp * b[1]));
        rh.ray.dir_z = static_cast<float>(c * n[2] + s * (cp * t[2] + sp * b[2]));
        rh.ray.tnear = static_cast<float>(epsilon_);
        rh.ray.tfar = std::numeric_limits<float>::infinity();
        rh.ray.mask = ~0u;
        rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(scene_, &context, &rh);
        if (rh.hit.geomID != RTC_INVALID_GEOMETRY_ID && static_cast<double>(rh.ray.tfar) < width) ++occluded;
    }
    return 1.0 - static_cast<double>(occluded) / std::max(1, rays);
}

}  // namespace bench
