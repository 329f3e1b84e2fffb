// DXGI desktop duplication of one output: the compositor's own frames, on the
// GPU. Where the system refuses it, capture falls back to GDI or tries again.
#pragma once

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

namespace ScreenCaptureLib {

enum class DuplicationStatus {
    Frame,     // a new desktop image is in the texture
    NoChange,  // nothing changed within the time-out
    Lost,      // access lost (mode change, desktop switch, secure desktop): open again
    Failed,
};

// DuplicateOutput answers that duplication cannot work here at all (a remote
// or basic display driver, Wine): E_NOTIMPL or DXGI_ERROR_UNSUPPORTED.
bool duplicationUnavailable(HRESULT result);
// ... or that it cannot work just now: the secure desktop (UAC, the lock
// screen: E_ACCESSDENIED) or a mode change in progress (DXGI_ERROR_ACCESS_LOST).
bool duplicationInterrupted(HRESULT result);

class DesktopDuplication {
public:
    ~DesktopDuplication();

    HRESULT open(IDXGIOutput* output, ID3D11Device* device);
    void close();
    bool isOpen() const { return duplication_ != nullptr; }
    // ModeDesc.Width and Height: the size of the frames.
    const DXGI_OUTDUPL_DESC& description() const { return description_; }

    // Gives the previous frame back, then waits at most timeoutMs for the next.
    // The frame stays ours (and `texture` valid) until the next call.
    DuplicationStatus acquire(UINT timeoutMs, Microsoft::WRL::ComPtr<ID3D11Texture2D>& texture);

private:
    void releaseFrame();

    Microsoft::WRL::ComPtr<IDXGIOutputDuplication> duplication_;
    DXGI_OUTDUPL_DESC description_{};
    bool holdsFrame_ = false;
};

}  // namespace ScreenCaptureLib
