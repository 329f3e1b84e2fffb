// What both WASAPI devices set up the same way: the device enumerator, the
// endpoint, its shared-mode audio client opened in 16-bit PCM with a
// one-second buffer. Each step that fails prints "<prefix> Failed to ...".
#pragma once

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <string>

#include "libcapture/desktopsharing/audiodevice.h"

// Which endpoint a stream uses: the default render endpoint for the
// multimedia role (what the product records in loopback and plays silence
// on), or the active capture endpoint with the given friendly name. Tests use
// the latter: Wine has no loopback, but PulseAudio's "Monitor of <sink>"
// capture endpoint records the same.
struct AudioEndpoint {
    std::wstring captureDeviceName;  // empty: the default render endpoint
    bool isDefaultRender() const { return captureDeviceName.empty(); }
};

class WasapiClient {
public:
    explicit WasapiClient(const char* logPrefix) : prefix_(logPrefix) {}
    ~WasapiClient();  // releases in reverse order of creation; CoUninitialize once opened
    WasapiClient(const WasapiClient&) = delete;
    WasapiClient& operator=(const WasapiClient&) = delete;

    // The init steps up to GetBufferSize; 0, or -1 after printing why.
    int open(const AudioEndpoint& endpoint, DWORD streamFlags);
    // GetService for the stream's capture or render client.
    template <typename Service>
    int service(Microsoft::WRL::ComPtr<Service>& out)
    {
        if (SUCCEEDED(client_->GetService(IID_PPV_ARGS(&out)))) return 0;
        fail("Failed to get service.");
        return -1;
    }
    void fail(const char* what) const;

    IAudioClient* client() const { return client_.Get(); }
    const WAVEFORMATEX* waveFormat() const { return mixFormat_; }
    const AudioFormat* format() const { return &format_; }
    UINT32 bufferFrames() const { return bufferFrames_; }
    // 10,000,000 x buffer frames / sample rate, in 100-ns units.
    REFERENCE_TIME actualDuration() const { return actualDuration_; }

private:
    const char* prefix_;
    bool comInitialized_ = false;
    Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator_;
    Microsoft::WRL::ComPtr<IMMDevice> device_;
    Microsoft::WRL::ComPtr<IAudioClient> client_;
    WAVEFORMATEX* mixFormat_ = nullptr;  // CoTaskMemAlloc'd by the engine
    AudioFormat format_;
    UINT32 bufferFrames_ = 0;
    REFERENCE_TIME actualDuration_ = 0;
};

// Friendly names of the active endpoints of one direction.
std::vector<std::wstring> audioEndpointNames(EDataFlow flow);
