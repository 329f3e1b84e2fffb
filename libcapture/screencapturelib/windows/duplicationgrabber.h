// Monitor capture through desktop duplication: frames only when the desktop or
// the pointer changed, the cursor drawn in through GDI.
#pragma once

#include "libcapture/screencapturelib/monitor.h"
#include "libcapture/screencapturelib/windows/capturegrabber.h"
#include "libcapture/screencapturelib/windows/desktopduplication.h"
#include "libcapture/screencapturelib/windows/dxgioutputs.h"
#include "libcapture/screencapturelib/windows/textureframereader.h"

namespace ScreenCaptureLib {

class DuplicationGrabber : public CaptureGrabber {
public:
    explicit DuplicationGrabber(const Monitor& monitor) : monitor_(monitor) {}

    // S_OK, or why duplication cannot capture the monitor (see
    // duplicationUnavailable and duplicationInterrupted).
    HRESULT open();
    GrabResult grab(bool force, std::shared_ptr<uint8_t>& pixels) override;

private:
    Monitor monitor_;
    // Released in reverse order of creation.
    MonitorOutput output_;
    Microsoft::WRL::ComPtr<ID3D11Device> device_;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
    DesktopDuplication duplication_;
    TextureFrameReader reader_;
    std::shared_ptr<uint8_t> last_;
};

}  // namespace ScreenCaptureLib
