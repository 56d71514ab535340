// SkinnedMesh without a device: loading hierarchies, bones and tracks from
// the whale models and from exporter-style files, the animation clock and
// its wrap, key sampling edge cases, and where the skinned vertices go.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/errlog.h"
#include "platform/base/com_ptr.h"
#include "platform/os/resource.h"
#include "render/skinned_mesh.h"

namespace {

// Loads a model resource without a device (meshes in system memory; the
// toon ramp, which needs a device, is the only part that fails).
void Load(SkinnedMesh* s, const char* name, ErrLog* log = nullptr) {
    s->InitDeviceObjects(nullptr, D3DCAPS8{}, name, log);
}

std::vector<MeshContainer*> Containers(MeshFrame* f, std::vector<MeshFrame*>* frames = nullptr) {
    std::vector<MeshContainer*> out;
    for (; f; f = f->m_pSibling.get()) {
        for (MeshContainer* c = f->m_pMeshContainer.get(); c; c = c->m_pNext.get()) {
            out.push_back(c);
            if (frames) frames->push_back(f);
        }
        std::vector<MeshContainer*> sub = Containers(f->m_pChild.get(), frames);
        out.insert(out.end(), sub.begin(), sub.end());
    }
    return out;
}

// The first mesh container of a loaded model (the whales have one).
MeshContainer* FirstContainer(const SkinnedMesh& s) {
    return Containers(s.GetDrawElements()->m_pRootFrame.get()).at(0);
}

// Model-space positions of a skinned container's original vertices at the
// current pose, blended as the shaders do (offset x combined per bone).
std::vector<D3DXVECTOR3> SkinnedPositions(MeshContainer* c) {
    ComPtr<ID3DXMesh> mesh;
    c->m_pSkinMesh->GetOriginalMesh(mesh.Out());
    const DWORD n = mesh->GetNumVertices();
    std::vector<D3DXVECTOR3> bind(n), out(n, D3DXVECTOR3(0, 0, 0));
    std::vector<float> total(n, 0.0f);
    BYTE* v = nullptr;
    mesh->LockVertexBuffer(0, &v);
    const UINT stride = D3DXGetFVFVertexSize(mesh->GetFVF());
    for (DWORD i = 0; i < n; ++i) std::memcpy(&bind[i], v + i * stride, 12);
    mesh->UnlockVertexBuffer();
    mesh.Reset();
    for (DWORD b = 0; b < c->m_pSkinMesh->GetNumBones(); ++b) {
        const DWORD count = c->m_pSkinMesh->GetNumBoneInfluences(b);
        std::vector<DWORD> vs(count);
        std::vector<float> ws(count);
        c->m_pSkinMesh->GetBoneInfluence(b, vs.data(), ws.data());
        D3DXMATRIX m;
        D3DXMatrixMultiply(&m, &c->m_pBoneOffsetMat[b], c->m_ppBoneMatrix[b]);
        for (DWORD i = 0; i < count; ++i) {
            D3DXVECTOR3 p;
            D3DXVec3TransformCoord(&p, &bind[vs[i]], &m);
            out[vs[i]] = out[vs[i]] + p * ws[i];
            total[vs[i]] += ws[i];
        }
    }
    for (DWORD i = 0; i < n; ++i) {
        if (total[i] > 0) out[i] = out[i] * (1.0f / total[i]);
    }
    return out;
}

void Pose(SkinnedMesh* s, float ticks) {
    s->SetCurrentTime(ticks);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    s->UpdateFrames(s->GetDrawElements()->m_pRootFrame.get(), identity);
}

bool Finite(const D3DXMATRIX& m) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!std::isfinite(m.m[r][c])) return false;
        }
    }
    return true;
}

float MaxDifference(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    float d = 0;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) d = std::fmax(d, std::fabs(a.m[r][c] - b.m[r][c]));
    }
    return d;
}

}  // namespace

TEST(SkinnedMesh, WhaleModelsLoadWithSeventeenBonesTwoInfluencesAndTheirLoopLength) {
    for (const char* name : {"WHALESKINNED01.X", "WHALESKINNED02.X", "WHALESKINNED03.X"}) {
        SCOPED_TRACE(name);
        SkinnedMesh s;
        Load(&s, name);
        ASSERT_NE(s.GetDrawElements(), nullptr);
        EXPECT_EQ(s.CountBones(), 17u);
        EXPECT_EQ(s.GetAnimLength(), 44950.0f);
        const std::vector<MeshContainer*> cs = Containers(s.GetDrawElements()->m_pRootFrame.get());
        ASSERT_EQ(cs.size(), 1u);
        EXPECT_EQ(cs[0]->m_dwMaxInfluences, 2u);  // drawn by skinmesh2.vsh
        EXPECT_EQ(cs[0]->m_dwPaletteSize, 17u);
        EXPECT_EQ(cs[0]->m_dwBuiltMethod, SkinnedMesh::kMethodVertexShader);
        for (DWORD b = 0; b < 17; ++b) EXPECT_NE(cs[0]->m_ppBoneMatrix[b], nullptr);
        // Every bone has its own frame (none fell back to the mesh's frame).
        const auto* names = static_cast<const char* const*>(cs[0]->m_pBoneNamesBuf->GetBufferPointer());
        for (DWORD b = 0; b < 17; ++b) {
            const MeshFrame* f = SkinnedMesh::FindFrame(s.GetDrawElements()->m_pRootFrame.get(), names[b]);
            ASSERT_NE(f, nullptr) << names[b];
            EXPECT_EQ(cs[0]->m_ppBoneMatrix[b], &f->m_matCombined) << names[b];
        }
    }
}

TEST(SkinnedMesh, FailedLoadLeavesAnEmptyObjectLogsItAndKeepsTheClockStill) {
    ErrLog log;
    SkinnedMesh s;
    Load(&s, "NO_SUCH_MODEL.X", &log);
    EXPECT_EQ(s.GetDrawElements(), nullptr);
    EXPECT_NE(std::string(log.Text()).find("\t\tCreateEnumObject...\n\t\tFailed\nSkinnedMesh Loading Failed..."),
              std::string::npos)
        << log.Text();
    EXPECT_EQ(s.FrameMove(1, 1, 0.05f), 0);
    SkinRenderParams p{};
    EXPECT_EQ(s.Render(p), 0);

    // A name of one character is refused before anything is read.
    SkinnedMesh one;
    ErrLog log1;
    Load(&one, "X", &log1);
    EXPECT_EQ(one.GetDrawElements(), nullptr);
    EXPECT_NE(std::string(log1.Text()).find("SkinnedMesh Loading Failed...-2147467259"), std::string::npos)
        << log1.Text();
}

TEST(SkinnedMesh, FrameHierarchyKeepsTheFirstChildFirstAndLaterOnesInReverse) {
    MeshFrame root;
    auto owned = [](MeshFrame** raw) {
        auto frame = std::make_unique<MeshFrame>();
        *raw = frame.get();
        return frame;
    };
    MeshFrame *a = nullptr, *b = nullptr, *c = nullptr;
    root.AddFrame(owned(&a));
    root.AddFrame(owned(&b));
    root.AddFrame(owned(&c));
    EXPECT_EQ(root.m_pChild.get(), a);
    EXPECT_EQ(a->m_pSibling.get(), c);
    EXPECT_EQ(c->m_pSibling.get(), b);
    EXPECT_EQ(b->m_pSibling.get(), nullptr);
}

// 44950 ticks at 4800 per second: the clock passes the end after 9.365 s
// and starts again at 0; a model without tracks holds the clock at 0.
TEST(SkinnedMesh, ClockWrapsAfterTheLoopAndStandsStillWithoutTracks) {
    SkinnedMesh s;
    Load(&s, "WHALESKINNED01.X");
    ASSERT_NE(s.GetDrawElements(), nullptr);
    const float dt = 1.0f / 60.0f;
    float elapsed = 0.0f, last = 0.0f;
    bool wrapped = false;
    for (int frame = 0; frame < 700 && !wrapped; ++frame) {
        s.FrameMove(1, 1, dt);
        elapsed += dt;
        wrapped = s.GetCurrentTime() < last;
        last = s.GetCurrentTime();
    }
    ASSERT_TRUE(wrapped);
    EXPECT_NEAR(elapsed, 44950.0f / 4800.0f, 2 * dt);
    EXPECT_EQ(s.GetCurrentTime(), 0.0f);

    // Segment 0 or a count of 0 moves nothing.
    SkinnedMesh still;
    Load(&still, "WHALESKINNED01.X");
    still.FrameMove(0, 1, 0.5f);
    still.FrameMove(1, 0, 0.5f);
    EXPECT_EQ(still.GetCurrentTime(), 0.0f);

    // A model with meshes and no tracks.
    SkinnedMesh rigid;
    Load(&rigid, "TEST_PAIR.X");
    ASSERT_NE(rigid.GetDrawElements(), nullptr);
    EXPECT_EQ(rigid.GetAnimLength(), 0.0f);
    for (int i = 0; i < 10; ++i) rigid.FrameMove(1, 1, 0.05f);
    EXPECT_EQ(rigid.GetCurrentTime(), 0.0f);
}

TEST(SkinnedMesh, WhalePoseAtTheLoopEndEqualsThePoseAtZero) {
    for (const char* name : {"WHALESKINNED01.X", "WHALESKINNED02.X", "WHALESKINNED03.X"}) {
        SCOPED_TRACE(name);
        SkinnedMesh s;
        Load(&s, name);
        ASSERT_NE(s.GetDrawElements(), nullptr);
        MeshContainer* c = FirstContainer(s);
        Pose(&s, 0.0f);
        const std::vector<D3DXVECTOR3> start = SkinnedPositions(c);
        Pose(&s, 44950.0f);
        const std::vector<D3DXVECTOR3> end = SkinnedPositions(c);
        Pose(&s, 44950.0f - 80.0f);  // one frame before the seam at 60 Hz
        const std::vector<D3DXVECTOR3> before = SkinnedPositions(c);
        float seam = 0, step = 0;
        for (std::size_t i = 0; i < start.size(); ++i) {
            const D3DXVECTOR3 a = start[i] - end[i], b = start[i] - before[i];
            seam = std::fmax(seam, D3DXVec3Length(&a));
            step = std::fmax(step, D3DXVec3Length(&b));
        }
        EXPECT_LT(seam, 1e-3f);
        EXPECT_LT(step, 0.1f) << "the last frame before the seam is one small step from the first";
    }
}

// Every bone turns as fast just after the loop's start and just before its
// end as it does half a loop later, at the same point of its beat (each
// turn is a whole number of beats per loop): the loop has no hitch at its
// seam, where the last key repeats the first.
TEST(SkinnedMesh, WhaleBonesKeepTheirTurningSpeedAcrossTheLoopSeam) {
    for (const char* name : {"WHALESKINNED01.X", "WHALESKINNED02.X", "WHALESKINNED03.X"}) {
        SCOPED_TRACE(name);
        SkinnedMesh s;
        Load(&s, name);
        ASSERT_NE(s.GetDrawElements(), nullptr);
        const float loop = s.GetAnimLength(), dt = 80.0f;  // one frame at 60 Hz
        ASSERT_EQ(loop, 44950.0f);
        int tracks = 0;
        for (MeshFrame* f = s.GetDrawElements()->m_pAnimationFrames; f; f = f->m_pNextAnimation) {
            if (!f->m_pRotateKeys) continue;
            ++tracks;
            // Degrees per second between two times, from the Frobenius
            // distance of the two rotations (2 sqrt 2 sin(angle / 2)), which
            // stays precise for small steps.
            auto speed = [&](float t0, float t1) {
                f->SetTime(t0);
                const D3DXMATRIX a = f->m_pAnimationFrame->m_matRot;
                f->SetTime(t1);
                const D3DXMATRIX& b = f->m_pAnimationFrame->m_matRot;
                double d = 0;
                for (int r = 0; r < 3; ++r) {
                    for (int c = 0; c < 3; ++c) d += (a.m[r][c] - b.m[r][c]) * (a.m[r][c] - b.m[r][c]);
                }
                const double angle = 2.0 * std::asin(std::sqrt(d) / (2.0 * std::sqrt(2.0)));
                return angle * 180.0 / 3.14159265 / ((t1 - t0) / SkinnedMesh::kTicksPerSecond);
            };
            const double after = speed(0.0f, dt), midAfter = speed(loop / 2, loop / 2 + dt);
            const double before = speed(loop - dt, loop), midBefore = speed(loop / 2 - dt, loop / 2);
            EXPECT_NEAR(after, midAfter, 0.1 * midAfter) << f->m_pAnimationFrame->m_szName << " after the seam";
            EXPECT_NEAR(before, midBefore, 0.1 * midBefore) << f->m_pAnimationFrame->m_szName << " before the seam";
        }
        EXPECT_EQ(tracks, 17);
    }
}

// The swim: at some times the tail is well above and at others well below
// its bind position, the head moves far less, and the beat travels from head
// to tail: along the back from the tail stock to the flukes, each point
// rises and falls later than the one ahead of it.
TEST(SkinnedMesh, WhaleTailBeatsAndTheWaveRunsHeadToTail) {
    for (const char* name : {"WHALESKINNED01.X", "WHALESKINNED03.X"}) {
        SCOPED_TRACE(name);
        SkinnedMesh s;
        Load(&s, name);
        ASSERT_NE(s.GetDrawElements(), nullptr);
        MeshContainer* c = FirstContainer(s);
        Pose(&s, 0.0f);
        const std::vector<D3DXVECTOR3> first = SkinnedPositions(c);
        std::size_t nose = 0, tail = 0;
        for (std::size_t i = 0; i < first.size(); ++i) {
            if (first[i].z > first[nose].z) nose = i;
            if (std::fabs(first[i].x) < 0.2f && first[i].z < first[tail].z) tail = i;
        }
        // The top of the back (on the centre line) nearest each of these z,
        // from the tail stock back to the flukes' root.
        const float stations[] = {-1.8f, -2.7f, -3.5f, -4.2f, -4.8f};
        std::vector<std::size_t> back;
        for (float z : stations) {
            std::size_t best = 0;
            float score = 1e9f;
            for (std::size_t i = 0; i < first.size(); ++i) {
                if (std::fabs(first[i].x) > 0.02f) continue;
                const float d = std::fabs(first[i].z - z) * 10.0f - first[i].y;  // nearest z, then highest
                if (d < score) score = d, best = i;
            }
            back.push_back(best);
        }
        constexpr int kSamples = 200;
        std::vector<std::vector<float>> heave(back.size() + 1);
        float tailLo = 1e9f, tailHi = -1e9f, noseLo = 1e9f, noseHi = -1e9f;
        for (int k = 0; k < kSamples; ++k) {
            Pose(&s, s.GetAnimLength() * k / kSamples);
            const std::vector<D3DXVECTOR3> p = SkinnedPositions(c);
            for (const D3DXVECTOR3& q : p) ASSERT_TRUE(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z));
            tailLo = std::fmin(tailLo, p[tail].y);
            tailHi = std::fmax(tailHi, p[tail].y);
            noseLo = std::fmin(noseLo, p[nose].y);
            noseHi = std::fmax(noseHi, p[nose].y);
            for (std::size_t j = 0; j < back.size(); ++j) heave[j].push_back(p[back[j]].y);
            heave.back().push_back(p[tail].y);
        }
        EXPECT_GT(tailHi - tailLo, 1.8f) << "the flukes beat through about a fifth of the body length";
        EXPECT_LT(noseHi - noseLo, (tailHi - tailLo) * 0.2f);
        // The beat: the harmonic of the loop strongest at the tail.
        auto component = [&](const std::vector<float>& y, int harmonic) {
            double re = 0, im = 0;
            for (int k = 0; k < kSamples; ++k) {
                const double a = 2 * 3.14159265358979 * harmonic * k / kSamples;
                re += y[k] * std::cos(a);
                im += y[k] * std::sin(a);
            }
            return std::complex<double>(re, im);
        };
        int beat = 1;
        for (int h = 2; h <= 8; ++h) {
            if (std::abs(component(heave.back(), h)) > std::abs(component(heave.back(), beat))) beat = h;
        }
        // Each point lags the one ahead of it by less than half a beat (for
        // y = sin(w t + psi) the component's angle is pi / 2 - psi, so a
        // later point has the larger angle); over the tail the wave lags by
        // more than a sixth of a beat.
        double total = 0;
        for (std::size_t j = 0; j + 1 < heave.size(); ++j) {
            const double lag = std::arg(component(heave[j + 1], beat) / component(heave[j], beat));
            EXPECT_GT(lag, 0.0) << "point " << j + 1 << " moves before point " << j;
            total += lag;
        }
        EXPECT_GT(total, 2 * 3.14159265358979 / 6);
    }
}

// The culling box of the whole loop holds the posed whale at any time (here
// between the samples it was found at), and the raised flukes reach above
// the rigid stand-in's box (top 0.94) that culled the whales before.
TEST(SkinnedMesh, WhaleLoopBoundsHoldEveryPose) {
    for (const char* name : {"WHALESKINNED01.X", "WHALESKINNED02.X", "WHALESKINNED03.X"}) {
        SCOPED_TRACE(name);
        SkinnedMesh s;
        Load(&s, name);
        ASSERT_NE(s.GetDrawElements(), nullptr);
        EXPECT_EQ(s.GetCurrentTime(), 0.0f) << "finding the box leaves the clock at the start";
        D3DXVECTOR3 lo, hi;
        ASSERT_TRUE(s.GetLoopBounds(&lo, &hi));
        EXPECT_GT(hi.y, 0.94f);
        MeshContainer* c = FirstContainer(s);
        const float slack = 0.01f;  // units; the whale is 9.5 long
        for (int k = 0; k < 97; ++k) {
            Pose(&s, s.GetAnimLength() * (k + 0.37f) / 97.0f);
            for (const D3DXVECTOR3& p : SkinnedPositions(c)) {
                ASSERT_TRUE(p.x >= lo.x - slack && p.y >= lo.y - slack && p.z >= lo.z - slack) << k;
                ASSERT_TRUE(p.x <= hi.x + slack && p.y <= hi.y + slack && p.z <= hi.z + slack) << k;
            }
        }
    }
}

// The model alone, with no drawing over it: it builds no drawable skinned
// mesh (that is the drawing's), and its clock, bones and loop box are the
// ones the drawn whale has.
TEST(SkinnedModel, LoadsAndRunsItsClockWithoutTheDrawing) {
    SkinnedModel model;
    model.SetSource("WHALESKINNED02.X", nullptr, nullptr);
    ASSERT_EQ(model.LoadMeshHierarchy(), S_OK);
    model.ComputeLoopBounds();
    SkinnedMesh drawn;
    Load(&drawn, "WHALESKINNED02.X");
    ASSERT_NE(drawn.GetDrawElements(), nullptr);

    MeshContainer* c = Containers(model.GetDrawElements()->m_pRootFrame.get()).at(0);
    EXPECT_EQ(c->m_pMesh.Get(), nullptr);
    EXPECT_EQ(c->m_dwBuiltMethod, 2u);
    EXPECT_EQ(model.GetAnimLength(), drawn.GetAnimLength());
    D3DXVECTOR3 lo, hi, drawnLo, drawnHi;
    ASSERT_TRUE(model.GetLoopBounds(&lo, &hi));
    ASSERT_TRUE(drawn.GetLoopBounds(&drawnLo, &drawnHi));
    EXPECT_EQ(lo, drawnLo);
    EXPECT_EQ(hi, drawnHi);

    const DWORD serial = model.GetPoseSerial();
    EXPECT_EQ(model.FrameMove(1, 1, 1.5f), 0);
    EXPECT_NE(model.GetPoseSerial(), serial);
    Pose(&drawn, model.GetCurrentTime());
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    SkinnedModel::UpdateFrames(model.GetDrawElements()->m_pRootFrame.get(), identity);
    const std::vector<D3DXVECTOR3> alone = SkinnedPositions(c), withDrawing = SkinnedPositions(FirstContainer(drawn));
    ASSERT_EQ(alone.size(), withDrawing.size());
    for (std::size_t i = 0; i < alone.size(); ++i) ASSERT_EQ(alone[i], withDrawing[i]) << i;
}

// Exporter-style file: nested bone frames, two animation sets, a rotation
// pair across hemispheres, single keys at time 0, a bone that names no
// frame and a vertex without weights.
TEST(SkinnedMesh, ExporterStyleSkinLoadsAndAnimatesSafely) {
    ErrLog log;
    SkinnedMesh s;
    Load(&s, "TEST_SKIN_ARMATURE.X", &log);
    ASSERT_NE(s.GetDrawElements(), nullptr) << log.Text();
    EXPECT_EQ(s.GetAnimLength(), 24.0f);
    std::vector<MeshFrame*> frames;
    const std::vector<MeshContainer*> cs = Containers(s.GetDrawElements()->m_pRootFrame.get(), &frames);
    ASSERT_EQ(cs.size(), 1u);
    MeshContainer* c = cs[0];
    // The texture does not exist: logged, left empty, the load goes on.
    EXPECT_NE(std::string(log.Text()).find("\t\tD3DXCreateTextureFromResource...\n\t\tFailed\n"), std::string::npos);
    EXPECT_EQ(c->m_ppTextures[0], nullptr);
    // Three named bones plus the bone of the weightless vertex.
    ASSERT_EQ(c->m_pSkinMesh->GetNumBones(), 4u);
    MeshFrame* bar = SkinnedMesh::FindFrame(s.GetDrawElements()->m_pRootFrame.get(), "Bar");
    ASSERT_EQ(frames[0], bar);
    EXPECT_EQ(c->m_ppBoneMatrix[2], &bar->m_matCombined) << "a bone without a frame rides on the mesh's frame";
    EXPECT_EQ(c->m_ppBoneMatrix[3], &bar->m_matCombined);

    // Mid-loop the upper bone turns about z by 15 degrees (half of its 30,
    // the short way although the keys lie in opposite hemispheres); the
    // vertices of the missing bone and without weights stay where they are.
    Pose(&s, 12.0f);
    for (MeshFrame* f = s.GetDrawElements()->m_pAnimationFrames; f; f = f->m_pNextAnimation) {
        ASSERT_TRUE(Finite(f->m_pAnimationFrame->m_matRot));
    }
    std::vector<D3DXVECTOR3> p = SkinnedPositions(c);
    EXPECT_NEAR(p[6].x, 0.25f, 1e-5f);
    EXPECT_NEAR(p[6].y, 3.0f, 1e-5f);
    EXPECT_NEAR(p[7].x, -0.25f, 1e-5f);
    EXPECT_NEAR(p[7].y, 3.0f, 1e-5f);
    const MeshFrame* upper = SkinnedMesh::FindFrame(s.GetDrawElements()->m_pRootFrame.get(), "Armature_Bone_001");
    const float angle = std::atan2(upper->m_matRot._12, upper->m_matRot._11);
    EXPECT_NEAR(angle, 3.14159265f / 12, 0.01f);
    // The translation keeps the bone where it was loaded.
    EXPECT_NEAR(upper->m_matRot._42, 1.0f, 1e-5f);
    // At time 0 and at the end of the track the pose is the rest pose.
    for (float t : {0.0f, 24.0f}) {
        Pose(&s, t);
        p = SkinnedPositions(c);
        EXPECT_NEAR(p[4].x, 0.25f, 1e-4f) << t;
        EXPECT_NEAR(p[4].y, 2.0f, 1e-4f) << t;
    }
    // The single-key tracks at time 0 hold a constant pose, never NaN.
    const MeshFrame* lower = SkinnedMesh::FindFrame(s.GetDrawElements()->m_pRootFrame.get(), "Armature_Bone");
    for (float t : {0.0f, 5.0f, 23.0f}) {
        Pose(&s, t);
        ASSERT_TRUE(Finite(lower->m_matRot)) << t;
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        EXPECT_LT(MaxDifference(lower->m_matRot, identity), 1e-5f) << t;
    }
}

// Matrix keys: no interpolation, the nearer key by fraction; matrix keys
// win over the other kinds.
TEST(SkinnedMesh, MatrixKeysSwitchAtTheMiddleOfEachInterval) {
    SkinnedMesh s;
    Load(&s, "TEST_SKIN_MATRIX.X");
    ASSERT_NE(s.GetDrawElements(), nullptr);
    EXPECT_EQ(s.GetAnimLength(), 4800.0f);
    const MeshFrame* spine = SkinnedMesh::FindFrame(s.GetDrawElements()->m_pRootFrame.get(), "Spine");
    ASSERT_NE(spine, nullptr);
    Pose(&s, 1100.0f);  // f < 0.5: the key at 0
    EXPECT_EQ(spine->m_matRot._11, 1.0f);
    Pose(&s, 1300.0f);  // f > 0.5: the key at 2400
    EXPECT_EQ(spine->m_matRot._11, 0.0f);
    EXPECT_EQ(spine->m_matRot._12, 1.0f);
    EXPECT_EQ(spine->m_matRot._42, 1.0f);
}

// Two rotation keys: the neighbours of each wrap to the other key, so the
// midpoint is the half-way rotation about the same axis and finite.
TEST(SkinnedMesh, TwoKeyRotationTrackWrapsItsNeighbours) {
    MeshFrame target;
    MeshFrame track;
    track.m_pAnimationFrame = &target;
    track.m_pRotateKeys = std::make_unique<RotateKey[]>(2);
    track.m_dwNumRotateKeys = 2;
    D3DXQUATERNION q0, q1;
    const D3DXVECTOR3 y(0, 1, 0);
    D3DXQuaternionRotationAxis(&q0, &y, 0.0f);
    D3DXQuaternionRotationAxis(&q1, &y, 1.2f);
    // Stored as the sampler expects them: w negated.
    track.m_pRotateKeys[0] = {0, D3DXQUATERNION(q0.x, q0.y, q0.z, -q0.w)};
    track.m_pRotateKeys[1] = {100, D3DXQUATERNION(q1.x, q1.y, q1.z, -q1.w)};
    track.SetTime(50.0f);
    ASSERT_TRUE(Finite(target.m_matRot));
    D3DXMATRIX expected;
    D3DXMatrixRotationY(&expected, 0.6f);
    EXPECT_LT(MaxDifference(target.m_matRot, expected), 1e-3f);
    // At the key times the keys themselves.
    track.SetTime(0.0f);
    D3DXMatrixRotationY(&expected, 0.0f);
    EXPECT_LT(MaxDifference(target.m_matRot, expected), 1e-4f);
}

// A track of one key at time 0 folds every time to NaN: key 0, f = 0.
TEST(SkinnedMesh, OneKeyTrackAtTimeZeroGivesItsKeyAtAnyTime) {
    MeshFrame target;
    MeshFrame track;
    track.m_pAnimationFrame = &target;
    track.m_pPositionKeys = std::make_unique<PositionKey[]>(1);
    track.m_dwNumPositionKeys = 1;
    track.m_pPositionKeys[0] = {0, D3DXVECTOR3(1, 2, 3)};
    for (float t : {0.0f, 1.0f, 44950.0f}) {
        track.SetTime(t);
        ASSERT_TRUE(Finite(target.m_matRot)) << t;
        EXPECT_EQ(target.m_matRot._41, 1.0f);
        EXPECT_EQ(target.m_matRot._42, 2.0f);
        EXPECT_EQ(target.m_matRot._43, 3.0f);
    }
}

TEST(SkinnedMesh, MalformedAnimationKeysAreSkippedNotReadAcross) {
    // A key whose value count disagrees with its type, and a key type
    // that does not exist, inside an otherwise sound file.
    static const char kFile[] = R"(xof 0303txt 0032
Frame A { FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }
AnimationSet S {
  Animation { { A } AnimationKey { 2; 2; 0; 2; 1.0, 2.0;;, 10; 3; 1.0, 2.0, 3.0;;; } }
  Animation { { A } AnimationKey { 3; 1; 0; 3; 1.0, 2.0, 3.0;;; } }
}
)";
    SkinnedMesh s;
    s.SetSourceData(kFile, sizeof kFile - 1);
    Load(&s, "inline");
    ASSERT_NE(s.GetDrawElements(), nullptr);
    EXPECT_EQ(s.GetAnimLength(), 0.0f);
    const MeshFrame* a = SkinnedMesh::FindFrame(s.GetDrawElements()->m_pRootFrame.get(), "A");
    s.FrameMove(1, 1, 0.01f);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_LT(MaxDifference(a->m_matRot, identity), 1e-6f);
}

// Damaged files: digits of a sound skinned file changed one at a time
// (counts, indices, key times and types, weights) load or fail cleanly,
// and whatever loads poses without touching memory it does not own.
TEST(SkinnedMesh, DamagedSkinFilesLoadOrFailCleanly) {
    const ResourceData res = FindResourceData("TEST_SKIN_ARMATURE.X", "Model");
    ASSERT_TRUE(res);
    const std::string original(reinterpret_cast<const char*>(res.data), res.size);
    std::vector<std::size_t> digits;
    for (std::size_t i = original.find("Frame Root"); i < original.size(); ++i) {
        if (original[i] >= '0' && original[i] <= '9') digits.push_back(i);
    }
    ASSERT_GT(digits.size(), 100u);
    std::uint32_t seed = 12345;
    int loaded = 0;
    for (int n = 0; n < 400; ++n) {
        seed = seed * 1664525u + 1013904223u;
        std::string text = original;
        const std::size_t at = digits[(seed >> 8) % digits.size()];
        text[at] = static_cast<char>('0' + (seed >> 4) % 10);
        if ((seed >> 20) % 4 == 0) text.insert(at, "9");  // sometimes a much larger number
        SkinnedMesh s;
        s.SetSourceData(text.data(), text.size());
        Load(&s, "damaged");
        if (!s.GetDrawElements()) continue;
        ++loaded;
        for (float t : {0.0f, 7.0f, 24.0f, 1000.0f}) Pose(&s, t);
        s.FrameMove(1, 1, 0.01f);
    }
    EXPECT_GT(loaded, 100) << "most single-digit changes still make a valid file";
}
