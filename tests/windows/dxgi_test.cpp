// DXGI under Wine: adapters, outputs and a device are real; a texture the test
// makes goes through the frame handling of the duplication path (GDI-compatible
// copy, cursor, staging copy, map at the row pitch); and since Wine answers
// DuplicateOutput with E_NOTIMPL, DXGIScreenCapture falls back to GDI
// capture of the output, which must be pixel-exact.
#include <d3d11.h>
#include <dxgi1_2.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstring>
#include <vector>

#include "libcapture/desktopsharing/screencapture/dxgi/dxgiscreencapture.h"
#include "libcapture/screencapturelib/windows/dxgioutputs.h"
#include "libcapture/screencapturelib/windows/textureframereader.h"
#include "tests/windows/logrecorder.h"
#include "tests/windows/screentestsupport.h"
#include "tests/windows/testwindow.h"

using Microsoft::WRL::ComPtr;
using namespace ScreenCaptureLib;

namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

// A picture in which every pixel differs from its neighbours.
std::vector<uint8_t> gradient(int width, int height)
{
    std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &bgra[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(x + 2 * y);
            p[3] = 0xFF;
        }
    return bgra;
}

struct Device {
    ComPtr<IDXGIAdapter1> adapter;
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
};

Device firstAdapterDevice()
{
    Device d;
    ComPtr<IDXGIFactory1> factory;
    if (FAILED(CreateDXGIFactory1(IID_PPV_ARGS(&factory))) ||
        FAILED(factory->EnumAdapters1(0, &d.adapter)) ||
        FAILED(createDevice(d.adapter.Get(), d.device, d.context)))
        return {};
    return d;
}

ComPtr<ID3D11Texture2D> textureWith(ID3D11Device* device, const std::vector<uint8_t>& bgra,
                                    int width, int height)
{
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    D3D11_SUBRESOURCE_DATA data{bgra.data(), static_cast<UINT>(width * 4), 0};
    ComPtr<ID3D11Texture2D> texture;
    device->CreateTexture2D(&desc, &data, &texture);
    return texture;
}

TEST(Dxgi, AdaptersAndTheirOutputsAreListed)
{
    ComPtr<IDXGIFactory1> factory;
    ASSERT_HRESULT_SUCCEEDED(CreateDXGIFactory1(IID_PPV_ARGS(&factory)));
    ComPtr<IDXGIAdapter1> adapter;
    ASSERT_HRESULT_SUCCEEDED(factory->EnumAdapters1(0, &adapter));
    DXGI_ADAPTER_DESC1 adapterDesc{};
    ASSERT_HRESULT_SUCCEEDED(adapter->GetDesc1(&adapterDesc));
    EXPECT_NE(adapterDesc.Description[0], L'\0');

    ComPtr<IDXGIOutput> output;
    ASSERT_HRESULT_SUCCEEDED(adapter->EnumOutputs(0, &output));
    DXGI_OUTPUT_DESC outputDesc{};
    ASSERT_HRESULT_SUCCEEDED(output->GetDesc(&outputDesc));
    EXPECT_TRUE(outputDesc.AttachedToDesktop);
    EXPECT_EQ(outputDesc.DesktopCoordinates.left, 0);
    EXPECT_EQ(outputDesc.DesktopCoordinates.top, 0);
    EXPECT_EQ(outputDesc.DesktopCoordinates.right, kScreenWidth);
    EXPECT_EQ(outputDesc.DesktopCoordinates.bottom, kScreenHeight);

    // The monitor list and the outputs agree.
    std::vector<Monitor> monitors = getMonitors();
    ASSERT_EQ(monitors.size(), 1u);
    MonitorOutput found;
    ASSERT_TRUE(findOutput(monitors[0], found));
    DXGI_OUTPUT_DESC foundDesc{};
    found.output->GetDesc(&foundDesc);
    EXPECT_EQ(std::wstring(foundDesc.DeviceName), std::wstring(outputDesc.DeviceName));
    Monitor elsewhere = monitors[0];
    elsewhere.x = kScreenWidth;
    EXPECT_FALSE(findOutput(elsewhere, found));
}

TEST(Dxgi, ADeviceOpensOnTheFirstAdapter)
{
    Device d = firstAdapterDevice();
    ASSERT_NE(d.device, nullptr);
    ASSERT_NE(d.context, nullptr);
    EXPECT_GE(d.device->GetFeatureLevel(), D3D_FEATURE_LEVEL_11_0);
}

class TextureFrameReaderTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 300;
    static constexpr int kHeight = 200;
    // The desktop point the texture's top-left pixel shows.
    static constexpr int kOriginX = 500;
    static constexpr int kOriginY = 300;

    void SetUp() override
    {
        SetCursorPos(kScreenWidth - 1, kScreenHeight - 1);  // outside the texture's area
        d = firstAdapterDevice();
        ASSERT_NE(d.device, nullptr);
        texture = textureWith(d.device.Get(), picture, kWidth, kHeight);
        ASSERT_NE(texture, nullptr);
        ASSERT_HRESULT_SUCCEEDED(reader.init(d.device.Get(), kWidth, kHeight));
    }

    Device d;
    std::vector<uint8_t> picture = gradient(kWidth, kHeight);
    ComPtr<ID3D11Texture2D> texture;
    TextureFrameReader reader;
};

TEST_F(TextureFrameReaderTest, TheTextureComesOutExactly)
{
    std::shared_ptr<uint8_t> pixels;
    ASSERT_TRUE(reader.read(texture.Get(), kOriginX, kOriginY, pixels));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(differingPixels(pixels.get(), picture.data(), kWidth, {0, 0, kWidth, kHeight}), 0);

    // Each read is a new buffer; the previous one stays as it was.
    std::shared_ptr<uint8_t> again;
    ASSERT_TRUE(reader.read(texture.Get(), kOriginX, kOriginY, again));
    EXPECT_NE(again.get(), pixels.get());
    EXPECT_EQ(differingPixels(pixels.get(), picture.data(), kWidth, {0, 0, kWidth, kHeight}), 0);
}

TEST_F(TextureFrameReaderTest, TheCursorIsDrawnAtItsPlaceAndClippedAtTheEdge)
{
    TestWindow foreground({kOriginX, kOriginY, kWidth, kHeight});
    ASSERT_TRUE(placeArrowCursor(foreground, kOriginX + 50, kOriginY + 40));
    std::shared_ptr<uint8_t> pixels;
    ASSERT_TRUE(reader.read(texture.Get(), kOriginX, kOriginY, pixels));
    ASSERT_NE(pixels, nullptr);
    const std::vector<uint8_t> expected = pictureWithCursor(picture, kWidth, kHeight, 50, 40);
    ASSERT_GT(differingPixels(expected.data(), picture.data(), kWidth, {0, 0, kWidth, kHeight}), 0);
    EXPECT_EQ(differingPixels(pixels.get(), expected.data(), kWidth, {0, 0, kWidth, kHeight}), 0);

    // Near the bottom-right corner only what fits is drawn.
    ASSERT_TRUE(placeArrowCursor(foreground, kOriginX + kWidth - 5, kOriginY + kHeight - 4));
    ASSERT_TRUE(reader.read(texture.Get(), kOriginX, kOriginY, pixels));
    const std::vector<uint8_t> clipped =
        pictureWithCursor(picture, kWidth, kHeight, kWidth - 5, kHeight - 4);
    EXPECT_EQ(differingPixels(pixels.get(), clipped.data(), kWidth, {0, 0, kWidth, kHeight}), 0);
}

TEST_F(TextureFrameReaderTest, AHiddenCursorIsNotDrawn)
{
    TestWindow foreground({kOriginX, kOriginY, kWidth, kHeight});
    ASSERT_TRUE(placeArrowCursor(foreground, kOriginX + 50, kOriginY + 40));
    foreground.onWindowThread([] {
        while (ShowCursor(FALSE) >= 0) {
        }
    });
    CURSORINFO cursor{};
    cursor.cbSize = sizeof cursor;
    ASSERT_TRUE(GetCursorInfo(&cursor));
    ASSERT_EQ(cursor.flags, 0u);
    std::shared_ptr<uint8_t> pixels;
    ASSERT_TRUE(reader.read(texture.Get(), kOriginX, kOriginY, pixels));
    EXPECT_EQ(differingPixels(pixels.get(), picture.data(), kWidth, {0, 0, kWidth, kHeight}), 0);
    foreground.onWindowThread([] {
        while (ShowCursor(TRUE) < 0) {
        }
    });
}

TEST(MappedRows, RowsAreTakenAtTheMappedPitch)
{
    // A frame 100 pixels wide read from a 128-pixel staging texture: each
    // mapped row is longer than the frame's.
    Device d = firstAdapterDevice();
    ASSERT_NE(d.device, nullptr);
    const int textureWidth = 128, width = 100, height = 20;
    const std::vector<uint8_t> bgra = gradient(textureWidth, height);
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = textureWidth;
    desc.Height = height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_STAGING;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    D3D11_SUBRESOURCE_DATA data{bgra.data(), textureWidth * 4, 0};
    ComPtr<ID3D11Texture2D> staging;
    ASSERT_HRESULT_SUCCEEDED(d.device->CreateTexture2D(&desc, &data, &staging));
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_HRESULT_SUCCEEDED(d.context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped));
    ASSERT_GE(mapped.RowPitch, static_cast<UINT>(textureWidth * 4));
    ASSERT_NE(mapped.RowPitch, static_cast<UINT>(width * 4));

    std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 4);
    copyMappedRows(static_cast<const uint8_t*>(mapped.pData), mapped.RowPitch, width, height,
                   frame.data());
    d.context->Unmap(staging.Get(), 0);
    for (int y = 0; y < height; ++y)
        EXPECT_EQ(std::memcmp(&frame[static_cast<size_t>(y) * width * 4],
                              &bgra[static_cast<size_t>(y) * textureWidth * 4], width * 4),
                  0)
            << "row " << y;
}

TEST(DXGIScreenCapture, NothingRunsBeforeInit)
{
    DXGIScreenCapture capture;
    std::shared_ptr<uint8_t> frame;
    int size = 0;
    HANDLE handle = nullptr;
    int acquire = 0, release = 0;
    EXPECT_EQ(capture.start(), -1);
    EXPECT_FALSE(capture.isStarted());
    EXPECT_EQ(capture.getFrame(frame, size), -1);
    EXPECT_EQ(capture.getTextureHandle(handle, acquire, release), -1);
    EXPECT_EQ(capture.stop(), 0);
}

TEST(DXGIScreenCapture, AnAdapterIndexWithoutAdapterIsRefused)
{
    LogRecorder::Scope logs;
    DXGIScreenCapture capture;
    EXPECT_EQ(capture.init(7), -1);
    EXPECT_EQ(logs.log().count("[DXGIScreenCapture] DXGI adapter not found.\n"), 1);
    EXPECT_EQ(capture.start(), -1);
}

TEST(DXGIScreenCapture, WithoutDuplicationTheOutputIsCapturedThroughGdiPixelExact)
{
    const COLORREF background = RGB(0x10, 0x80, 0x40), mark = RGB(0xF0, 0x20, 0x90);
    SetCursorPos(kScreenWidth - 1, kScreenHeight - 1);
    TestWindow cover({0, 0, kScreenWidth, kScreenHeight, background});
    cover.mark({600, 400, 700, 450}, mark);

    LogRecorder::Scope logs;
    DXGIScreenCapture capture;
    ASSERT_EQ(capture.init(0), 0);
    EXPECT_TRUE(capture.capturesThroughGdi());
    EXPECT_EQ(capture.width(), kScreenWidth);
    EXPECT_EQ(capture.height(), kScreenHeight);
    // Wine's DuplicateOutput: E_NOTIMPL. Logged once, and the cast goes on.
    EXPECT_EQ(logs.log().count("[DXGIScreenCapture] Failed to get duplicate output. 0x887a0004: "
                               "NVIDIA控制面板-->全局设置--首选图形处理器(自动选择) \n"),
              1);
    EXPECT_EQ(logs.log().count("[DXGIScreenCapture] Desktop duplication unavailable "
                               "(0x80004001): capturing the output through GDI"),
              1);
    // Nor does Wine share textures: the NVENC path would take the CPU frames.
    HANDLE handle = nullptr;
    int acquire = 0, release = 0;
    EXPECT_EQ(capture.getTextureHandle(handle, acquire, release), -1);
    EXPECT_EQ(logs.log().count(
                  "[DXGIScreenCapture] No shared texture: frames reach the encoder from memory"),
              1);
    EXPECT_EQ(capture.init(0), 0);  // once per object
    EXPECT_EQ(logs.log().countPrefix("[DXGIScreenCapture] Failed to get duplicate output."), 1);

    std::shared_ptr<uint8_t> frame;
    int size = 0;
    EXPECT_EQ(capture.getFrame(frame, size), -1);  // not started
    ASSERT_EQ(capture.start(), 0);
    EXPECT_EQ(capture.start(), 0);
    ASSERT_EQ(capture.getFrame(frame, size), 0);  // the first frame came with start
    EXPECT_EQ(size, kScreenWidth * kScreenHeight * 4);

    std::vector<uint8_t> expected =
        pictureWithCursor(kScreenWidth, kScreenHeight, background, kScreenWidth, kScreenHeight);
    for (int y = 400; y < 450; ++y)
        for (int x = 600; x < 700; ++x) {
            uint8_t* p = &expected[(static_cast<size_t>(y) * kScreenWidth + x) * 4];
            p[0] = GetBValue(mark);
            p[1] = GetGValue(mark);
            p[2] = GetRValue(mark);
        }
    // Every pixel but the parked cursor's corner one.
    const RECT all{0, 0, kScreenWidth, kScreenHeight - 1};
    EXPECT_EQ(differingPixels(frame.get(), expected.data(), kScreenWidth, all), 0);

    // getFrame hands out the current frame every time; a change makes a new one.
    std::shared_ptr<uint8_t> same;
    ASSERT_EQ(capture.getFrame(same, size), 0);
    cover.mark({0, 0, 10, 10}, mark);
    EXPECT_TRUE(waitUntil([&] {
        std::shared_ptr<uint8_t> now;
        return capture.getFrame(now, size) == 0 && now != frame &&
               frameColor(now.get(), kScreenWidth, 5, 5) == mark;
    }));

    EXPECT_EQ(capture.stop(), 0);
    EXPECT_FALSE(capture.isStarted());
    EXPECT_EQ(capture.getFrame(frame, size), -1);
    ASSERT_EQ(capture.start(), 0);
    EXPECT_EQ(capture.getFrame(frame, size), 0);
    capture.stop();
}

}  // namespace
