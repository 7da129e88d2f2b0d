// The declarations in host/ against the host's own layouts: a host reads its records and
// function tables by position, so a member at another offset is a call of the wrong
// function or a read of the wrong value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "host/lwsdk.h"
#include "refhost/spot_record.h"
#include "shading/hit_record.h"

namespace {

struct RecordFigure {
    std::string name;
    size_t declared_size;
    size_t declared_align;
    size_t host_size;
};

struct MemberFigure {
    std::string record;
    std::string member;
    size_t declared_offset, declared_size;
    size_t host_offset, host_size;
};

// Generated from the figures: every member they list must be declared, or this does not
// compile.
#define ORMEL_LAYOUT_RECORD(R, size) records.push_back({#R, sizeof(R), alignof(R), size});
#define ORMEL_LAYOUT_MEMBER(R, m, offset, size) \
    members.push_back({#R, #m, offsetof(R, m), sizeof(R::m), offset, size});

struct Figures {
    std::vector<RecordFigure> records;
    std::vector<MemberFigure> members;

    Figures() {
#include "host_layout_figures.inc"
    }

    const RecordFigure *record(const std::string &name) const {
        for (const RecordFigure &r : records)
            if (r.name == name) return &r;
        return nullptr;
    }
};

const Figures &figures() {
    static const Figures f;
    return f;
}

TEST(HostLayout, EveryListedMemberSitsAtTheHostsOffsetWithTheHostsSize) {
    ASSERT_FALSE(figures().members.empty());
    std::vector<std::string> wrong;
    for (const MemberFigure &m : figures().members) {
        if (m.declared_offset != m.host_offset || m.declared_size != m.host_size)
            wrong.push_back(m.record + "." + m.member + ": declared +" + std::to_string(m.declared_offset) + " (" +
                            std::to_string(m.declared_size) + " bytes), host +" + std::to_string(m.host_offset) +
                            " (" + std::to_string(m.host_size) + " bytes)");
    }
    EXPECT_TRUE(wrong.empty()) << ::testing::PrintToString(wrong);
}

// A declaration may stop after the last member the module uses, but then it must end there:
// a record longer than the host's, or one with members past those the figures list, has
// declarations that no figure holds.
TEST(HostLayout, RecordsEndAtTheirLastListedMemberOrAtTheHostsSize) {
    std::map<std::string, size_t> listed_end;
    for (const MemberFigure &m : figures().members) {
        ASSERT_NE(figures().record(m.record), nullptr) << m.record << " has members but no size";
        listed_end[m.record] = std::max(listed_end[m.record], m.host_offset + m.host_size);
    }
    for (const RecordFigure &r : figures().records) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(listed_end.count(r.name)) << "no members listed";
        const size_t end = listed_end[r.name];
        const size_t rounded = (end + r.declared_align - 1) / r.declared_align * r.declared_align;
        EXPECT_LE(r.declared_size, r.host_size);
        EXPECT_TRUE(r.declared_size == r.host_size || r.declared_size == rounded)
            << "declared " << r.declared_size << " bytes; the listed members end at " << end;
    }
}

// Records the module fills and hands over are read by the host to their full size.
TEST(HostLayout, RecordsTheModuleAllocatesAreAtLeastTheHostsSize) {
    const std::map<std::string, size_t> allocated = {
        {"ModuleDescriptor", sizeof(ModuleDescriptor)},
        {"ServerRecord", sizeof(ServerRecord)},
        {"ServerTagInfo", sizeof(ServerTagInfo)},
        {"LWMicropol", sizeof(LWMicropol)},
        {"LWShaderAccess", sizeof(ormel::HitRecord)},
        {"LWTxtrParamDesc", sizeof(LWTxtrParamDesc)},
        {"LWTxtrParamFuncs", sizeof(LWTxtrParamFuncs)},
        {"LWXPanelControl", sizeof(LWXPanelControl)},
        {"LWXPanelDataDesc", sizeof(LWXPanelDataDesc)},
        {"LWBlockIdent", sizeof(LWBlockIdent)},
    };
    for (const auto &[name, size] : allocated) {
        const RecordFigure *r = figures().record(name);
        ASSERT_NE(r, nullptr) << name;
        EXPECT_GE(size, r->host_size) << name;
    }
    // The reference host's spot records are as large as a host's, so that a shader's
    // smaller hit record would be overrun under the sanitizers.
    EXPECT_EQ(refhost::kSpotRecordSize, figures().record("LWShaderAccess")->host_size);
    EXPECT_EQ(sizeof(refhost::SpotRecord), refhost::kSpotRecordSize);
}

}  // namespace
