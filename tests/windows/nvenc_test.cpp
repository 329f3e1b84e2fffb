// The NVENC wrapper and encoder classes against the fake runtime
// (fakenvencodeapi.cpp, nvEncodeAPI64.dll beside this program), without it
// (a copy of this program in a directory of its own), and with Wine told to
// report an NVIDIA or an Intel adapter (a copy of this program under a name
// of its own, whose Direct3D settings Wine takes from the registry).
#include "libcapture/desktopsharing/nvcodec/nvencoder/nvenc.h"

#include <d3d11.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "libcapture/desktopsharing/nvcodec/nvencoder/nvencoderd3d11.h"
#include "tests/windows/childprocess.h"
#include "tests/windows/logrecorder.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr unsigned kNvidia = 0x10de, kGeForce = 0x06cd;
constexpr unsigned kIntel = 0x8086, kHdGraphics = 0x0412;

// Runs a hidden test in a copy of this program in a fresh directory: no
// runtime beside it.
int runWithoutRuntime(const std::string& test)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    char directory[MAX_PATH];
    std::snprintf(directory, sizeof directory, "%svantor-no-nvenc-%lu", temp,
                  GetCurrentProcessId());
    CreateDirectoryA(directory, nullptr);
    const std::string copy = std::string(directory) + "\\test_win_nvenc.exe";
    if (!CopyFileA(thisProgramPath().c_str(), copy.c_str(), FALSE)) return -1;
    const int code = runHiddenTest(copy, test, directory);
    DeleteFileA(copy.c_str());
    DeleteFileA((std::string(directory) + "\\app.log").c_str());
    RemoveDirectoryA(directory);
    return code;
}

void fakeSetting(const char* name, const char* value) { SetEnvironmentVariableA(name, value); }

// Each test starts from the fake's defaults: API 11.1, sessions refused.
class NvencTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakeSetting("VANTOR_FAKE_NVENC_VERSION", nullptr);
        fakeSetting("VANTOR_FAKE_NVENC_SESSION", nullptr);
        fakeSetting("VANTOR_FAKE_NVENC_PACKET_BYTES", nullptr);
    }
};

// The fake runtime's own account of the calls it got.
int fakeCount(const char* call)
{
    HMODULE runtime = GetModuleHandleA("nvEncodeAPI64.dll");
    if (!runtime) return -1;
    auto count = reinterpret_cast<int (*)(const char*)>(
        reinterpret_cast<void*>(GetProcAddress(runtime, "FakeNvencCount")));
    return count ? count(call) : -1;
}

void fakeLastConfig(NV_ENC_INITIALIZE_PARAMS& params, NV_ENC_CONFIG& config)
{
    HMODULE runtime = GetModuleHandleA("nvEncodeAPI64.dll");
    ASSERT_NE(runtime, nullptr);
    auto last = reinterpret_cast<void (*)(NV_ENC_INITIALIZE_PARAMS*, NV_ENC_CONFIG*)>(
        reinterpret_cast<void*>(GetProcAddress(runtime, "FakeNvencLastConfig")));
    ASSERT_NE(last, nullptr);
    last(&params, &config);
}

nvenc_config castConfig()
{
    nvenc_config config;
    config.width = 1280;
    config.height = 720;
    config.framerate = 30;
    config.bitrate = 4000000;
    config.gop = 50;
    config.codec = "h264";
    config.format = DXGI_FORMAT_B8G8R8A8_UNORM;
    return config;
}

// The line each failure below is raised on.
int failureLine = 0;

void failingStep()
{
    failureLine = __LINE__ + 1;
    NVENC_THROW_ERROR("Failed to create d3d11textures", NV_ENC_ERR_OUT_OF_MEMORY);
}

NVENCSTATUS refusingCall() { return NV_ENC_ERR_INVALID_PARAM; }
void failingCall()
{
    failureLine = __LINE__ + 1;
    NVENC_API_CALL(refusingCall());
}

}  // namespace

TEST(NVENCException, TheMessageNamesFunctionErrorFileAndLine)
{
    try {
        failingStep();
        FAIL() << "no exception";
    } catch (const NVENCException& e) {
        EXPECT_EQ(std::string(e.what()),
                  std::string("failingStep : Failed to create d3d11textures at ") + __FILE__ + ":" +
                      std::to_string(failureLine) + "\n");
        EXPECT_EQ(e.getErrorCode(), NV_ENC_ERR_OUT_OF_MEMORY);
    }
    try {
        failingCall();
        FAIL() << "no exception";
    } catch (const NVENCException& e) {
        EXPECT_EQ(std::string(e.what()),
                  std::string("failingCall : refusingCall() returned error 8 at ") + __FILE__ +
                      ":" + std::to_string(failureLine) + "\n");
        EXPECT_EQ(e.getErrorCode(), NV_ENC_ERR_INVALID_PARAM);
    }
}

TEST_F(NvencTest, DriversBelowApi81AreRefusedAnd81AndLaterAccepted)
{
    LogRecorder::Scope logs;
    nvenc_info.is_supported();  // loads the fake
    const int answered = fakeCount("max_version");
    const std::string refused =
        "[nvenc] Error: Current Driver Version does not support this NvEncodeAPI version, "
        "please upgrade driver";
    fakeSetting("VANTOR_FAKE_NVENC_VERSION", "0x80");  // 8.0
    EXPECT_FALSE(nvenc_info.is_supported());
    EXPECT_EQ(logs.log().count(refused), 1);
    fakeSetting("VANTOR_FAKE_NVENC_VERSION", "0x7f");  // 7.15
    EXPECT_FALSE(nvenc_info.is_supported());
    EXPECT_EQ(logs.log().count(refused), 2);
    EXPECT_EQ(logs.log().count("NVENC supported"), 1);  // the first, loading call

    fakeSetting("VANTOR_FAKE_NVENC_VERSION", "0x81");  // 8.1
    EXPECT_TRUE(nvenc_info.is_supported());
    fakeSetting("VANTOR_FAKE_NVENC_VERSION", "0xb1");  // 11.1
    EXPECT_TRUE(nvenc_info.is_supported());
    EXPECT_EQ(logs.log().count("NVENC supported"), 3);
    EXPECT_EQ(logs.log().count(refused), 2);
    EXPECT_EQ(fakeCount("max_version"), answered + 4);  // the fake answered every time
}

TEST_F(NvencTest, AnOldDriverMakesTheEncoderRefuseToOpen)
{
    nvenc_info.is_supported();  // loads the fake
    const int instances = fakeCount("create_instance");
    fakeSetting("VANTOR_FAKE_NVENC_VERSION", "0x80");
    ComPtr<ID3D11Device> device;
    ASSERT_HRESULT_SUCCEEDED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0,
                                               nullptr, 0, D3D11_SDK_VERSION, &device, nullptr,
                                               nullptr));
    try {
        NvEncoderD3D11 encoder(device.Get(), 64, 64, NV_ENC_BUFFER_FORMAT_ARGB);
        FAIL() << "the encoder opened";
    } catch (const NVENCException& e) {
        EXPECT_NE(std::string(e.what()).find(
                      "Current Driver Version does not support this NvEncodeAPI version, please "
                      "upgrade driver at "),
                  std::string::npos)
            << e.what();
        EXPECT_EQ(e.getErrorCode(), NV_ENC_ERR_INVALID_VERSION);
    }
    EXPECT_EQ(fakeCount("create_instance"), instances);
}

TEST_F(NvencTest, OperationsOnANullHandleFail)
{
    nvenc_config config = castConfig();
    uint8_t out[16];
    EXPECT_FALSE(nvenc_info.init(nullptr, &config));
    EXPECT_EQ(nvenc_info.encode_texture(nullptr, nullptr, out, sizeof out), -1);
    EXPECT_EQ(nvenc_info.encode_handle(nullptr, nullptr, 1, 0, out, sizeof out), -1);
    EXPECT_EQ(nvenc_info.get_sequence_params(nullptr, out, sizeof out), 0);
    EXPECT_EQ(nvenc_info.get_d3d11_device(nullptr), nullptr);
    EXPECT_EQ(nvenc_info.get_texture(nullptr), nullptr);
    EXPECT_EQ(nvenc_info.get_context(nullptr), nullptr);
    void* handle = nullptr;
    nvenc_info.destroy(&handle);
    nvenc_info.destroy(nullptr);
    EXPECT_EQ(handle, nullptr);
}

TEST_F(NvencTest, WithoutTheRuntimeNothingIsSupported)
{
    EXPECT_EQ(runWithoutRuntime("DISABLED_NoRuntime.IsSupportedIsFalseAndNothingOpens"), 0);
}

TEST(DISABLED_NoRuntime, IsSupportedIsFalseAndNothingOpens)
{
    ASSERT_EQ(GetModuleHandleA("nvEncodeAPI64.dll"), nullptr);
    LogRecorder::Scope logs;
    EXPECT_FALSE(nvenc_info.is_supported());
    EXPECT_EQ(logs.log().count("[nvenc] Error: NVENC library file is not found. Please ensure NV "
                               "driver is installed. \n"),
              1);
    EXPECT_EQ(nvenc_info.create(), nullptr);
    EXPECT_EQ(logs.log().count("[nvenc] Error: Failed to create d3d11 device. \n"), 0);

    ComPtr<ID3D11Device> device;
    ASSERT_HRESULT_SUCCEEDED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0,
                                               nullptr, 0, D3D11_SDK_VERSION, &device, nullptr,
                                               nullptr));
    try {
        NvEncoderD3D11 encoder(device.Get(), 64, 64, NV_ENC_BUFFER_FORMAT_ARGB);
        FAIL() << "the encoder opened";
    } catch (const NVENCException& e) {
        EXPECT_EQ(std::string(e.what()).rfind("LoadNvEncApi : NVENC library file is not found. "
                                              "Please ensure NV driver is installed at ",
                                              0),
                  0u)
            << e.what();
        EXPECT_EQ(e.getErrorCode(), NV_ENC_ERR_NO_ENCODE_DEVICE);
    }
}

TEST_F(NvencTest, WithoutAnNvidiaAdapterCreateLogsAndReturnsNull)
{
    EXPECT_EQ(runHiddenTestWithAdapter(kIntel, kHdGraphics,
                                       "DISABLED_IntelAdapter.CreateLogsAndReturnsNull"),
              0);
}

TEST(DISABLED_IntelAdapter, CreateLogsAndReturnsNull)
{
    LogRecorder::Scope logs;
    void* handle = nvenc_info.create();
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(logs.log().count("NVENC supported"), 1);
    EXPECT_EQ(logs.log().count("[nvenc] Error: Failed to create d3d11 device. \n"), 1);
    nvenc_info.destroy(&handle);
}

TEST_F(NvencTest, ARefusedSessionFailsInitAndLeavesTheHandleToDestroy)
{
    EXPECT_EQ(runHiddenTestWithAdapter(kNvidia, kGeForce, "DISABLED_NvidiaAdapter.RefusedSession"),
              0);
}

TEST(DISABLED_NvidiaAdapter, RefusedSession)
{
    LogRecorder::Scope logs;
    void* handle = nvenc_info.create();
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(nvenc_info.get_d3d11_device(handle), nullptr);
    EXPECT_NE(nvenc_info.get_context(handle), nullptr);
    nvenc_config config = castConfig();
    EXPECT_FALSE(nvenc_info.init(handle, &config));
    // The function list was loaded and its session call made with valid
    // parameters (the fake answers 8, NV_ENC_ERR_INVALID_PARAM, to invalid
    // ones): the runtime said 1, NV_ENC_ERR_NO_ENCODE_DEVICE.
    EXPECT_EQ(fakeCount("create_instance"), 1);
    EXPECT_EQ(fakeCount("open_session"), 1);
    std::string line;
    EXPECT_EQ(logs.log().countPrefix("[nvenc] Error: NvEncoder : m_nvenc.nvEncOpenEncodeSessionEx("
                                     "&encodeSessionExParams, &hEncoder) returned error 1 at ",
                                     &line),
              1);
    EXPECT_EQ(line.back(), '\n');
    // The upload texture was made before the session was asked for.
    EXPECT_NE(nvenc_info.get_texture(handle), nullptr);
    uint8_t out[16];
    EXPECT_EQ(nvenc_info.encode_texture(handle, nvenc_info.get_texture(handle), out, sizeof out),
              -1);
    nvenc_info.destroy(&handle);
    EXPECT_EQ(handle, nullptr);
}

TEST_F(NvencTest, ARuntimeWithoutTheSessionCallIsReported)
{
    fakeSetting("VANTOR_FAKE_NVENC_SESSION", "missing");
    EXPECT_EQ(runHiddenTestWithAdapter(kNvidia, kGeForce, "DISABLED_NvidiaAdapter.NoSessionCall"),
              0);
}

TEST(DISABLED_NvidiaAdapter, NoSessionCall)
{
    LogRecorder::Scope logs;
    void* handle = nvenc_info.create();
    ASSERT_NE(handle, nullptr);
    nvenc_config config = castConfig();
    EXPECT_FALSE(nvenc_info.init(handle, &config));
    EXPECT_EQ(fakeCount("open_session"), 0);
    EXPECT_EQ(logs.log().countPrefix("[nvenc] Error: NvEncoder : EncodeAPI not found at "), 1);
    nvenc_info.destroy(&handle);
}

TEST_F(NvencTest, UnsupportedFormatsAndCodecsAreRefused)
{
    EXPECT_EQ(
        runHiddenTestWithAdapter(kNvidia, kGeForce, "DISABLED_NvidiaAdapter.UnsupportedConfig"), 0);
}

TEST(DISABLED_NvidiaAdapter, UnsupportedConfig)
{
    LogRecorder::Scope logs;
    void* handle = nvenc_info.create();
    ASSERT_NE(handle, nullptr);
    nvenc_config config = castConfig();
    config.format = DXGI_FORMAT_R8G8B8A8_UNORM;  // 28
    EXPECT_FALSE(nvenc_info.init(handle, &config));
    EXPECT_EQ(logs.log().count("[nvenc] Error: Unsupported dxgi format. \n"), 1);
    config = castConfig();
    config.codec = "vp9";
    EXPECT_FALSE(nvenc_info.init(handle, &config));
    EXPECT_EQ(logs.log().count("[nvenc] Error: Unsupported codec. \n"), 1);
    EXPECT_EQ(fakeCount("open_session"), 0);
    nvenc_info.destroy(&handle);
}

TEST_F(NvencTest, AnOpenSessionEncodesThreeFramesBehind)
{
    fakeSetting("VANTOR_FAKE_NVENC_SESSION", "open");
    EXPECT_EQ(runHiddenTestWithAdapter(kNvidia, kGeForce, "DISABLED_NvidiaAdapter.OpenSession"), 0);
}

TEST(DISABLED_NvidiaAdapter, OpenSession)
{
    void* handle = nvenc_info.create();
    ASSERT_NE(handle, nullptr);
    nvenc_config config = castConfig();
    ASSERT_TRUE(nvenc_info.init(handle, &config));
    EXPECT_FALSE(nvenc_info.init(handle, &config));  // once per handle

    NV_ENC_INITIALIZE_PARAMS params{};
    NV_ENC_CONFIG encodeConfig{};
    fakeLastConfig(params, encodeConfig);
    const GUID lowLatency = {
        0x49df21c5, 0x6dfa, 0x4feb, {0x97, 0x87, 0x6a, 0xcc, 0x9e, 0xff, 0xb7, 0x26}};
    EXPECT_TRUE(IsEqualGUID(params.encodeGUID, NV_ENC_CODEC_H264_GUID));
    EXPECT_TRUE(IsEqualGUID(params.presetGUID, lowLatency));
    EXPECT_EQ(params.encodeWidth, 1280u);
    EXPECT_EQ(params.encodeHeight, 720u);
    EXPECT_EQ(params.maxEncodeWidth, 1280u);
    EXPECT_EQ(params.frameRateNum, 30u);
    EXPECT_EQ(params.frameRateDen, 1u);
    EXPECT_EQ(params.enableEncodeAsync, 1u);
    EXPECT_EQ(params.enablePTD, 1u);
    EXPECT_EQ(encodeConfig.rcParams.rateControlMode, NV_ENC_PARAMS_RC_CBR);
    EXPECT_EQ(encodeConfig.rcParams.averageBitRate, 3333333u);
    EXPECT_EQ(encodeConfig.rcParams.maxBitRate, 4000000u);
    EXPECT_EQ(encodeConfig.gopLength, 50u);
    EXPECT_EQ(encodeConfig.frameIntervalP, 1);
    EXPECT_EQ(encodeConfig.encodeCodecConfig.h264Config.idrPeriod, 50u);
    EXPECT_EQ(encodeConfig.encodeCodecConfig.h264Config.repeatSPSPPS, 1u);
    // Four buffers: one P frame interval, no look-ahead, three frames of delay.
    EXPECT_EQ(fakeCount("register_event"), 4);
    EXPECT_EQ(fakeCount("create_bitstream"), 4);
    EXPECT_EQ(fakeCount("register_resource"), 4);

    ComPtr<ID3D11Texture2D> picture;
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = 1280;
    desc.Height = 720;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    ASSERT_HRESULT_SUCCEEDED(
        nvenc_info.get_d3d11_device(handle)->CreateTexture2D(&desc, nullptr, &picture));
    std::vector<uint8_t> out(4096);
    const uint32_t size = static_cast<uint32_t>(out.size());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(nvenc_info.encode_texture(handle, picture.Get(), out.data(), size), 0) << i;
    ASSERT_EQ(nvenc_info.encode_texture(handle, picture.Get(), out.data(), size), 100);
    const uint8_t first[] = {0, 0, 0, 1, 0x65, 0};
    EXPECT_EQ(std::memcmp(out.data(), first, sizeof first), 0);
    // A packet that would fill the buffer exactly is dropped; one byte more fits.
    EXPECT_EQ(nvenc_info.encode_texture(handle, picture.Get(), out.data(), 100), 0);
    ASSERT_EQ(nvenc_info.encode_texture(handle, picture.Get(), out.data(), 101), 100);
    EXPECT_EQ(out[5], 2);  // the third picture: the second was dropped
    EXPECT_EQ(fakeCount("encode"), 6);

    // The CPU frame's way in: the upload texture can be written.
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ID3D11DeviceContext* context = nvenc_info.get_context(handle);
    ASSERT_HRESULT_SUCCEEDED(
        context->Map(nvenc_info.get_texture(handle), 0, D3D11_MAP_WRITE, 0, &mapped));
    context->Unmap(nvenc_info.get_texture(handle), 0);

    EXPECT_EQ(nvenc_info.get_sequence_params(handle, out.data(), size), 12);
    EXPECT_EQ(out[4], 0x67);
    EXPECT_EQ(nvenc_info.get_sequence_params(handle, out.data(), 12), 0);
    // No shared handle: nothing to do; a handle that opens nothing: failure.
    EXPECT_EQ(nvenc_info.encode_handle(handle, nullptr, 1, 0, out.data(), size), 0);
    EXPECT_EQ(
        nvenc_info.encode_handle(handle, reinterpret_cast<HANDLE>(0x1234), 1, 0, out.data(), size),
        -1);

    nvenc_info.destroy(&handle);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(fakeCount("end_of_stream"), 1);
    EXPECT_EQ(fakeCount("unregister_resource"), 4);
    EXPECT_EQ(fakeCount("destroy_bitstream"), 4);
    EXPECT_EQ(fakeCount("unregister_event"), 4);
    EXPECT_EQ(fakeCount("destroy_encoder"), 1);
}
