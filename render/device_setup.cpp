// Device bring-up shared by the saver, its tools, tests and benchmarks.
#include "render/device_setup.h"

#include <cstdio>
#include <initializer_list>

#include "core/errlog.h"

HRESULT CreateSaverDevice(const DeviceRequest& request, SaverDevice* out, ErrLog* log) {
    ReleaseSaverDevice(out);
    ComPtr<IDirect3D8> d3d;
    if (FAILED(ObjectStep(log, "\tDirect3DCreate8...\n", "\tFailed\n",
                          [&] { return (d3d = ComPtr<IDirect3D8>(Direct3DCreate8(D3D_SDK_VERSION))).Get(); }))) {
        return E_FAIL;
    }
    D3DDISPLAYMODE mode{};
    if (FAILED(ObjectStep(log, "\tGetAdapterDisplayMode...\n", "\tFailed\n",
                          [&] { return d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode); }))) {
        return E_FAIL;
    }

    // Full screen prefers 16-bit formats, as the original display modes did.
    D3DFORMAT format = mode.Format;
    if (!request.windowed) {
        format = D3DFMT_UNKNOWN;
        for (D3DFORMAT f : {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8}) {
            if (SUCCEEDED(d3d->CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, f, f, FALSE))) {
                format = f;
                break;
            }
        }
    }

    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = request.width;
    params.BackBufferHeight = request.height;
    params.BackBufferFormat = format;
    params.BackBufferCount = 1;
    params.MultiSampleType = D3DMULTISAMPLE_NONE;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = request.hwnd;
    params.Windowed = request.windowed ? TRUE : FALSE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    params.FullScreen_PresentationInterval = request.presentationInterval;

    ComPtr<IDirect3DDevice8> device;
    if (FAILED(ObjectStepWithCode(log, "\tCreateDevice...\n", "\tFailed hr=%x\n", [&] {
            const HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, request.hwnd,
                                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, device.Out());
            return SUCCEEDED(hr) && !device ? E_FAIL : hr;
        }))) {
        return E_FAIL;
    }
    device->GetDeviceCaps(&out->caps);
    out->params = params;
    out->device = std::move(device);
    out->d3d = std::move(d3d);
    return S_OK;
}

void ReleaseSaverDevice(SaverDevice* device) {
    if (!device) return;
    device->device.Reset();  // the device before the object that made it
    device->d3d.Reset();
}
