#include "libcapture/desktopsharing/screencapture/dxgi/desktopduplicationpath.h"

#include <algorithm>
#include <cstring>

#include "Comm/logging.h"
#include "libcapture/desktopsharing/h264encoder.h"
#include "libcapture/desktopsharing/nvcodec/nvencoder/nvenc.h"

namespace {

constexpr size_t kOutputBufferBytes = 8294400;

}  // namespace

DesktopDuplicationPath::~DesktopDuplicationPath()
{
    capture_.stop();
    exit();
}

bool DesktopDuplicationPath::initCapture() { return capture_.init(0) >= 0; }

void DesktopDuplicationPath::setUpEncoder(const std::string& codec, int width, int height,
                                          int frameRate, int bitRate, int gop)
{
    if (codec != "h264_nvenc" || nvencHandle_) return;
    // NVENC encodes the captured texture as it is, without a scaler: another
    // output size (a quality preset, an odd side rounded down) is the software
    // encoder's, which scales.
    if (width != capture_.width() || height != capture_.height()) {
        LOG(INFO) << "nvenc encodes the captured " << capture_.width() << "x" << capture_.height()
                  << " only, " << width << "x" << height << " asked: software encoder";
        return;
    }
    if (nvenc_info.is_supported()) {
        LOG(INFO) << "nv is_supported";
        nvencHandle_ = nvenc_info.create();
    }
    if (!nvencHandle_) return;
    LOG(INFO) << "set nvenc_config";
    nvenc_config config;
    config.width = static_cast<uint32_t>(width);
    config.height = static_cast<uint32_t>(height);
    config.framerate = static_cast<uint32_t>(frameRate);
    config.bitrate = static_cast<uint32_t>(bitRate);
    config.gop = static_cast<uint32_t>(gop);
    config.codec = "h264";
    config.format = DXGI_FORMAT_B8G8R8A8_UNORM;
    if (!nvenc_info.init(nvencHandle_, &config)) {
        LOG(INFO) << "nvenc_info.init err";
        nvenc_info.destroy(&nvencHandle_);
        nvencHandle_ = nullptr;
    }
}

bool DesktopDuplicationPath::start()
{
    if (output_.empty()) output_.assign(kOutputBufferBytes, 0);
    return capture_.start() == 0 && capture_.isStarted();
}

void DesktopDuplicationPath::stop()
{
    // The video loop may still be in encodeFrame: what it uses stays until exit.
    if (capture_.isStarted()) capture_.stop();
}

void DesktopDuplicationPath::exit()
{
    if (nvencHandle_) nvenc_info.destroy(&nvencHandle_);
    nvencHandle_ = nullptr;
    output_.clear();
    output_.shrink_to_fit();
    frame_.reset();
}

int DesktopDuplicationPath::uploadAndEncode()
{
    int size = 0;
    if (capture_.getFrame(frame_, size) != 0) return -1;
    ID3D11Device* device = nvenc_info.get_d3d11_device(nvencHandle_);
    ID3D11Texture2D* texture = nvenc_info.get_texture(nvencHandle_);
    ID3D11DeviceContext* context = nvenc_info.get_context(nvencHandle_);
    if (!device || !texture || !context) return -1;
    // Never more than the texture holds, should the capture's mode have changed.
    D3D11_TEXTURE2D_DESC description{};
    texture->GetDesc(&description);
    const UINT width = std::min<UINT>(description.Width, UINT(capture_.width()));
    const UINT height = std::min<UINT>(description.Height, UINT(capture_.height()));
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(context->Map(texture, 0, D3D11_MAP_WRITE, 0, &mapped))) return -1;
    const size_t frameRowBytes = static_cast<size_t>(capture_.width()) * 4;
    for (UINT row = 0; row < height; ++row)
        std::memcpy(static_cast<uint8_t*>(mapped.pData) + size_t(row) * mapped.RowPitch,
                    frame_.get() + row * frameRowBytes, size_t(width) * 4);
    context->Unmap(texture, 0);
    return nvenc_info.encode_texture(nvencHandle_, texture, output_.data(),
                                     static_cast<uint32_t>(output_.size()));
}

int DesktopDuplicationPath::encodeWithNvenc()
{
    LOG(INFO) << "nvenc";
    HANDLE shared = nullptr;
    int acquireKey = 0, releaseKey = 0;
    // Without a shared texture (a driver that cannot share it) every frame
    // goes through memory, as when the shared encode fails.
    if (capture_.getTextureHandle(shared, acquireKey, releaseKey) != 0) return uploadAndEncode();
    int bytes = nvenc_info.encode_handle(nvencHandle_, shared, acquireKey, releaseKey,
                                         output_.data(), static_cast<uint32_t>(output_.size()));
    LOG(INFO) << "nvenc_info.encode_handle  ";
    if (bytes < 0) bytes = uploadAndEncode();
    return bytes;
}

void DesktopDuplicationPath::encodeFrame(PacketCallback callback, void* context, uint32_t timestamp)
{
    if (nvencHandle_) {
        const int bytes = encodeWithNvenc();
        if (bytes > 0 && callback) callback(context, 0, output_.data(), bytes, 2, timestamp);
        return;
    }
    int size = 0;
    if (capture_.getFrame(frame_, size) != 0) return;
    AVPacket* packet =
        H264Encoder::instance().encodeVideo(frame_.get(), capture_.width(), capture_.height(), 0);
    if (packet && callback) callback(context, 0, packet->data, packet->size, 2, timestamp);
}
