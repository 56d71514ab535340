// ZSortRender: the per-frame queue of rigid (unskinned) model draws. During the
// scene pass every X-file model that wants to be seen adds one entry; after
// the scene the lifecycle sorts the queue back to front along the view, draws it
// with the toon vertex shader "Toon.vsh" under alpha blending, and clears it.
//
// Budget: 300 fixed slots, filled in place; nothing is allocated per frame.
// A full queue drops further entries for that frame and counts them
// (GetDroppedCount, kept for the last cleared frame as well).
//
// Ownership: entries borrow the model's vertex and index buffers, attribute
// table, materials and textures; they are valid only for the frame in which
// they were added (Clear forgets them). The renderer owns the toon ramp
// texture ("Toon.bmp") and the toon shader handle.
//
// Lifecycle: InitDeviceObjects (ramp texture) → RestoreDeviceObjects (shader)
// → per frame Add… Sort Render Clear → InvalidateDeviceObjects (shader) →
// DeleteDeviceObjects (texture). Each step undoes exactly its partner.
#pragma once

#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/d3dx/d3dx_mesh.h"

class ErrLog;

// One queued draw. An empty slot has null pointers, no subsets, the identity
// world matrix and position (0, 0, 0).
struct ZSortEntry {
    // 44-byte vertices: position (3 floats), normal (3 floats), diffuse
    // (packed colour), texture coordinates 0 and 1 (2 floats each).
    IDirect3DVertexBuffer8* m_pVB;
    IDirect3DIndexBuffer8* m_pIB;
    const D3DXATTRIBUTERANGE* m_pAttribTable;  // one range per subset
    const D3DMATERIAL8* m_pMaterials;          // one material per subset
    IDirect3DTexture8* const* m_ppTextures;    // one per subset, entries may be null; null array: none
    DWORD m_dwSubsetNum;
    D3DXMATRIX m_matWorld;   // model to world
    D3DXVECTOR3 m_vPosition;  // world-space point the queue is sorted by
};

class ZSortRender {
public:
    static constexpr DWORD kMaxEntries = 300;
    static constexpr DWORD kVertexStride = 44;  // bytes, see ZSortEntry

    ZSortRender();
    ZSortRender(const ZSortRender&) = delete;
    ZSortRender& operator=(const ZSortRender&) = delete;

    // Creates the toon ramp texture from the resource "Toon.bmp". Progress
    // lines go to `log` (the start-up log; may be null). E_FAIL on failure.
    HRESULT InitDeviceObjects(IDirect3DDevice8* device, ErrLog* log);
    // Assembles "Toon.vsh" and creates the toon shader with the 44-byte
    // vertex declaration. Returns the assembler's error, or E_FAIL when the
    // device refuses the shader.
    HRESULT RestoreDeviceObjects(IDirect3DDevice8* device, ErrLog* log);

    // Queues one model draw; when kMaxEntries are already queued it is
    // dropped and counted instead. Returns 0.
    HRESULT Add(IDirect3DVertexBuffer8* vb, IDirect3DIndexBuffer8* ib, const D3DXATTRIBUTERANGE* attribTable,
                D3DXMATRIX world, D3DXVECTOR3 position, const D3DMATERIAL8* materials,
                IDirect3DTexture8* const* textures, DWORD subsetNum);
    // Orders the queue ascending by the dot product of each entry's position
    // with `direction` (world space). Equal keys: any order.
    HRESULT Sort(const D3DXVECTOR3& direction);
    // The direction that makes Sort's order back to front for a camera with
    // this view matrix: minus the view's third column, the world direction
    // along which camera-space depth grows (row-vector convention: depth =
    // p . (_13, _23, _33) + _43). The farthest entry then comes first, so a
    // faded model never hides one behind it under the queue's depth writes.
    static D3DXVECTOR3 BackToFront(const D3DXMATRIX& view) { return D3DXVECTOR3(-view._13, -view._23, -view._33); }
    // Draws the queue in its current order. view and projection are the
    // camera's; light is the world-space light vector (w = 0); fogDistance is
    // the camera-space depth at which an entry is all fog colour. The caller
    // sets the blend states. Returns 0 whatever the device says.
    HRESULT Render(IDirect3DDevice8* device, const D3DXMATRIX& view, const D3DXMATRIX& projection,
                   const D3DXVECTOR4& light, float fogDistance);
    // Empties every slot and the queue; the frame's drop count moves to
    // GetLastFrameDropped.
    HRESULT Clear();

    // Deletes the toon shader.
    HRESULT InvalidateDeviceObjects(IDirect3DDevice8* device);
    // Releases the toon ramp texture.
    HRESULT DeleteDeviceObjects();

    // Inspection (tests, debug overlays). GetEntry takes an index below
    // kMaxEntries; any other reads slot 0.
    DWORD GetCount() const { return m_dwCount; }
    DWORD GetDroppedCount() const { return m_dwDropped; }           // this frame, so far
    DWORD GetLastFrameDropped() const { return m_dwLastDropped; }  // the frame before the last Clear
    const ZSortEntry& GetEntry(DWORD index) const { return m_Entries[index < kMaxEntries ? index : 0]; }
    IDirect3DTexture8* GetToonTexture() const { return m_pToonTexture; }
    DWORD GetShader() const { return m_dwToonShader; }

private:
    DWORD m_dwCount;
    DWORD m_dwDropped = 0;
    DWORD m_dwLastDropped = 0;
    ZSortEntry m_Entries[kMaxEntries];
    ComPtr<IDirect3DTexture8> m_pToonTexture;
    DWORD m_dwToonShader;  // 0xFFFFFFFF when not created
};
