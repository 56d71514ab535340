// The one way the program brings up its graphics device: Direct3D, then a
// device on a window, with the back buffer, depth buffer and presentation the
// saver uses. The saver, the model tools, the tests and the benchmarks all
// call it, so each of them draws on the device the saver draws on.
//
// Ownership: the SaverDevice owns both interfaces; moving it moves them.
// Release order is the device first, then Direct3D (see ReleaseSaverDevice).
#pragma once

#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"

class ErrLog;

struct DeviceRequest {
    HWND hwnd = nullptr;
    bool windowed = true;
    // Back buffer in pixels. In a window 0 x 0 takes the client size; full
    // screen needs a size (the display mode the picture is made at).
    UINT width = 0;
    UINT height = 0;
    // D3DPRESENT_INTERVAL_DEFAULT waits for the display's refresh (the
    // saver); D3DPRESENT_INTERVAL_IMMEDIATE presents at once (tools, tests,
    // benchmarks).
    UINT presentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
};

struct SaverDevice {
    ComPtr<IDirect3D8> d3d;
    ComPtr<IDirect3DDevice8> device;
    D3DPRESENT_PARAMETERS params{};  // as created; Reset takes these again
    D3DCAPS8 caps{};
};

// Creates Direct3D and the device. Each step appends its start-up log line
// ("\tDirect3DCreate8...\n", "\tGetAdapterDisplayMode...\n",
// "\tCreateDevice...\n") and, on failure, its failure line ("\tFailed\n", or
// "\tFailed hr=<hex>\n" for the device) to `log` (may be null). Full screen
// takes the first 16-bit format the adapter accepts, then 32-bit; a window
// takes the display's format. On failure *out holds nothing and E_FAIL is
// returned.
HRESULT CreateSaverDevice(const DeviceRequest& request, SaverDevice* out, ErrLog* log);

// Releases the device, then Direct3D. Safe on an empty or partial SaverDevice.
void ReleaseSaverDevice(SaverDevice* device);
