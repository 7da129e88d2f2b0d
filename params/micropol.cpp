#include "params/micropol.h"

#include <cmath>

#include "module/module_state.h"
#include "params/services.h"

namespace ormel {

namespace {

const Vec3 kWorldAxes[3] = {Vec3(1.0, 0.0, 0.0), Vec3(0.0, 1.0, 0.0), Vec3(0.0, 0.0, 1.0)};

void copy3(double to[3], const double from[3]) {
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
}

// The object-space axis from the polygon's undeformed normal, when the object's mesh can be
// had; false otherwise.
bool object_axis_from_mesh(const LWShaderAccess *access, int &axis) {
    LWObjectInfo *object_info = host_services.object_info;
    if (!object_info || !object_info->meshInfo || !access->polygon) return false;
    LWMeshInfo *mesh = object_info->meshInfo(access->objID, 1);
    if (!mesh) return false;
    double normal[3];
    const bool computed = polygon_base_normal(mesh, access->polygon, normal);
    if (mesh->destroy) mesh->destroy(mesh);
    if (!computed) return false;
    axis = dominant_axis(Vec3(normal), kWorldAxes);
    return true;
}

}  // namespace

bool polygon_base_normal(LWMeshInfo *mesh, LWPolID polygon, double out[3]) {
    if (!polygon || !mesh->polSize || !mesh->polVertex || !mesh->pntBasePos) return false;
    const int n = mesh->polSize(mesh, polygon);
    if (n < 3) return false;
    float f0[3], f1[3], fl[3];
    mesh->pntBasePos(mesh, mesh->polVertex(mesh, polygon, 0), f0);
    mesh->pntBasePos(mesh, mesh->polVertex(mesh, polygon, 1), f1);
    mesh->pntBasePos(mesh, mesh->polVertex(mesh, polygon, n - 1), fl);
    const Vec3 p0(static_cast<double>(f0[0]), static_cast<double>(f0[1]), static_cast<double>(f0[2]));
    const Vec3 p1(static_cast<double>(f1[0]), static_cast<double>(f1[1]), static_cast<double>(f1[2]));
    const Vec3 pl(static_cast<double>(fl[0]), static_cast<double>(fl[1]), static_cast<double>(fl[2]));
    const Vec3 a = vec_normalized(p1 - p0);
    const Vec3 b = vec_normalized(pl - p0);
    vec_cross(a, b).store(out);
    return true;
}

int dominant_axis(const Vec3 &normal, const Vec3 axes[3]) {
    const double dx = std::fabs(vec_dot(normal, axes[0]));
    const double dy = std::fabs(vec_dot(normal, axes[1]));
    const double dz = std::fabs(vec_dot(normal, axes[2]));
    if (dz > dx && dz > dy) return 2;
    if (dy > dx) return 1;
    return 0;
}

void fill_micropol(LWMicropol *mp, const LWShaderAccess *access, LWSurfaceID surface) {
    // Start from a defined record, then let the host set the fields it owns.
    acquire_host_services();
    *mp = LWMicropol();
    if (host_services.vparm && host_services.vparm->initMP) host_services.vparm->initMP(mp);

    copy3(mp->oPos, access->oPos);
    copy3(mp->wPos, access->wPos);
    mp->oScl[0] = mp->oScl[1] = mp->oScl[2] = 1.0;
    copy3(mp->gNorm, access->gNorm);
    copy3(mp->wNorm, access->wNorm);
    for (int k = 0; k < 3; ++k) mp->ray[k] = access->wPos[k] - access->raySource[k];
    mp->bumpHeight = access->bumpHeight;
    mp->spotSize = access->spotSize;
    copy3(mp->raySource, access->raySource);
    mp->rayLength = access->rayLength;
    mp->cosine = access->cosine;
    for (int k = 0; k < 9; ++k) {
        mp->oXfrm[k] = access->oXfrm[k];
        mp->wXfrm[k] = access->wXfrm[k];
    }
    mp->objID = access->objID;
    mp->srfID = surface;
    for (int k = 0; k < 4; ++k) {
        mp->verts[k] = access->verts[k];
        mp->weights[k] = access->weights[k];
        for (int c = 0; c < 3; ++c) mp->vertsWPos[k][c] = access->vertsWPos[k][c];
    }
    mp->polNum = access->polNum;

    // World-space axis: the geometric normal against the world axes.
    const Vec3 g = vec_normalized(Vec3(access->gNorm));
    mp->wAxis = dominant_axis(g, kWorldAxes);

    // Object-space axis: the polygon's undeformed normal when the mesh can be read, else the
    // geometric normal against the columns of the world transform.
    int axis = 0;
    if (!object_axis_from_mesh(access, axis)) {
        const double *m = access->wXfrm;
        const Vec3 columns[3] = {vec_normalized(Vec3(m[0], m[3], m[6])),
                                 vec_normalized(Vec3(m[1], m[4], m[7])),
                                 vec_normalized(Vec3(m[2], m[5], m[8]))};
        axis = dominant_axis(g, columns);
    }
    mp->oAxis = axis;

    mp->context = 0;
    mp->illuminate = access->illuminate;
    mp->rayTrace = access->rayTrace;
    mp->rayCast = access->rayCast;
    mp->rayShade = access->rayShade;
    mp->userData = nullptr;
    mp->polygon = access->polygon;
    // Whatever the host attached here in initMP describes no spot of ours.
    mp->VertexIndexes = nullptr;
}

void param_value_at(const PluginDataParam *param, LWMicropol *mp, double out[3]) {
    param_services.vparm->getVal(param->vparm, render_time, mp, out);
}

void param_value(const PluginDataParam *param, double out[3]) {
    param_services.vparm->getVal(param->vparm, render_time, nullptr, out);
}

void param_texture(const PluginDataParam *param, LWMicropol *mp, double out[3]) {
    LWVParmFuncs *vparm = param_services.vparm;
    LWTextureID texture = vparm->getTex ? vparm->getTex(param->vparm) : nullptr;
    if (texture && param_services.texture && param_services.texture->evaluate)
        param_services.texture->evaluate(texture, mp, out);
}

}  // namespace ormel
