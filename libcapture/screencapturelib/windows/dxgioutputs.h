// The DXGI output that shows a monitor, and a Direct3D 11 device on its adapter.
#pragma once

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include "libcapture/screencapturelib/monitor.h"

namespace ScreenCaptureLib {

struct MonitorOutput {
    Microsoft::WRL::ComPtr<IDXGIAdapter1> adapter;
    Microsoft::WRL::ComPtr<IDXGIOutput> output;
};

// The output whose desktop rectangle is the monitor's; false when no adapter
// shows it (a mirrored or indirect display).
bool findOutput(const Monitor& monitor, MonitorOutput& found);

// A hardware device on the adapter; the HRESULT of D3D11CreateDevice.
HRESULT createDevice(IDXGIAdapter* adapter, Microsoft::WRL::ComPtr<ID3D11Device>& device,
                     Microsoft::WRL::ComPtr<ID3D11DeviceContext>& context);

}  // namespace ScreenCaptureLib
