#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiclient.h"

#include <functiondiscoverykeys_devpkey.h>

#include <cstdio>
#include <vector>

#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiformat.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr REFERENCE_TIME kReferenceTimesPerSecond = 10000000;  // 100-ns units
constexpr REFERENCE_TIME kBufferDuration = kReferenceTimesPerSecond;

std::wstring friendlyName(IMMDevice* device)
{
    ComPtr<IPropertyStore> properties;
    if (FAILED(device->OpenPropertyStore(STGM_READ, &properties))) return {};
    PROPVARIANT value;
    PropVariantInit(&value);
    std::wstring name;
    if (SUCCEEDED(properties->GetValue(PKEY_Device_FriendlyName, &value)) &&
        value.vt == VT_LPWSTR && value.pwszVal)
        name = value.pwszVal;
    PropVariantClear(&value);
    return name;
}

HRESULT findCaptureEndpoint(IMMDeviceEnumerator* enumerator, const std::wstring& name,
                            ComPtr<IMMDevice>& found)
{
    ComPtr<IMMDeviceCollection> devices;
    HRESULT hr = enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &devices);
    if (FAILED(hr)) return hr;
    UINT count = 0;
    devices->GetCount(&count);
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        if (SUCCEEDED(devices->Item(i, &device)) && friendlyName(device.Get()) == name) {
            found = device;
            return S_OK;
        }
    }
    return E_NOTFOUND;
}

}  // namespace

WasapiClient::~WasapiClient()
{
    if (mixFormat_) CoTaskMemFree(mixFormat_);
    client_.Reset();
    device_.Reset();
    enumerator_.Reset();
    if (comInitialized_) CoUninitialize();
}

void WasapiClient::fail(const char* what) const
{
    std::printf("%s %s\n", prefix_, what);
    std::fflush(stdout);
}

int WasapiClient::open(const AudioEndpoint& endpoint, DWORD streamFlags)
{
    // Whatever the thread's apartment already is, COM is usable afterwards.
    if (!comInitialized_) comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(&enumerator_)))) {
        fail("Failed to create instance.");
        return -1;
    }
    // The default device is the one of this moment; a later change is not followed.
    const HRESULT found =
        endpoint.isDefaultRender()
            ? enumerator_->GetDefaultAudioEndpoint(eRender, eMultimedia, &device_)
            : findCaptureEndpoint(enumerator_.Get(), endpoint.captureDeviceName, device_);
    if (FAILED(found)) {
        fail("Failed to create device.");
        return -1;
    }
    if (FAILED(device_->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                 reinterpret_cast<void**>(client_.ReleaseAndGetAddressOf())))) {
        fail("Failed to activate device.");
        return -1;
    }
    if (mixFormat_) CoTaskMemFree(mixFormat_);
    mixFormat_ = nullptr;
    if (FAILED(client_->GetMixFormat(&mixFormat_)) || !mixFormat_) {
        fail("Failed to get mix format.");
        return -1;
    }
    rewriteMixFormatTo16Bit(mixFormat_);
    format_ = audioFormatOf(*mixFormat_);
    if (FAILED(client_->Initialize(AUDCLNT_SHAREMODE_SHARED, streamFlags, kBufferDuration, 0,
                                   mixFormat_, nullptr))) {
        fail("Failed to initialize audio client.");
        return -1;
    }
    if (FAILED(client_->GetBufferSize(&bufferFrames_))) {
        fail("Failed to get buffer size.");
        return -1;
    }
    actualDuration_ = kReferenceTimesPerSecond * bufferFrames_ / mixFormat_->nSamplesPerSec;
    return 0;
}

std::vector<std::wstring> audioEndpointNames(EDataFlow flow)
{
    std::vector<std::wstring> names;
    const bool comInitialized = SUCCEEDED(CoInitialize(nullptr));
    {
        ComPtr<IMMDeviceEnumerator> enumerator;
        ComPtr<IMMDeviceCollection> devices;
        UINT count = 0;
        if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                       IID_PPV_ARGS(&enumerator))) &&
            SUCCEEDED(enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, &devices)))
            devices->GetCount(&count);
        for (UINT i = 0; i < count; ++i) {
            ComPtr<IMMDevice> device;
            if (SUCCEEDED(devices->Item(i, &device))) names.push_back(friendlyName(device.Get()));
        }
    }
    if (comInitialized) CoUninitialize();
    return names;
}
