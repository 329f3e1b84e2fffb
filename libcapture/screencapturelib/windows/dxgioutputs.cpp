#include "libcapture/screencapturelib/windows/dxgioutputs.h"

using Microsoft::WRL::ComPtr;

namespace ScreenCaptureLib {

bool findOutput(const Monitor& monitor, MonitorOutput& found)
{
    ComPtr<IDXGIFactory1> factory;
    if (FAILED(CreateDXGIFactory1(IID_PPV_ARGS(&factory)))) return false;
    ComPtr<IDXGIAdapter1> adapter;
    for (UINT a = 0; factory->EnumAdapters1(a, &adapter) != DXGI_ERROR_NOT_FOUND; ++a) {
        ComPtr<IDXGIOutput> output;
        for (UINT o = 0; adapter->EnumOutputs(o, &output) != DXGI_ERROR_NOT_FOUND; ++o) {
            DXGI_OUTPUT_DESC desc{};
            if (FAILED(output->GetDesc(&desc))) continue;
            const RECT& r = desc.DesktopCoordinates;
            if (r.left == monitor.x && r.top == monitor.y && r.right - r.left == monitor.width &&
                r.bottom - r.top == monitor.height) {
                found.adapter = adapter;
                found.output = output;
                return true;
            }
        }
    }
    return false;
}

HRESULT createDevice(IDXGIAdapter* adapter, ComPtr<ID3D11Device>& device,
                     ComPtr<ID3D11DeviceContext>& context)
{
    // With an explicit adapter the driver type must be UNKNOWN.
    return D3D11CreateDevice(adapter, adapter ? D3D_DRIVER_TYPE_UNKNOWN : D3D_DRIVER_TYPE_HARDWARE,
                             nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &device, nullptr, &context);
}

}  // namespace ScreenCaptureLib
