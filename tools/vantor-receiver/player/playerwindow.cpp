#include "tools/vantor-receiver/player/playerwindow.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "tools/vantor-receiver/player/letterbox.h"
#include "tools/vantor-receiver/player/steadyclock.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vantor::receiver {

namespace {
constexpr int kDefaultWidth = 1280;
constexpr int kDefaultHeight = 720;
// Nothing to do but wait for events and pictures; new pictures wake us at once.
constexpr int kIdleWaitMs = 500;

// OpenGL drawn by the CPU (Mesa's llvmpipe, as under Xvfb) takes ten times as long
// to put a 1080p picture on the screen as SDL's own software renderer does.
bool isSoftwareOpenGl(SDL_Renderer* renderer)
{
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0 || std::strncmp(info.name, "opengl", 6) != 0)
        return false;
    using GetString = const unsigned char* (*)(unsigned int);
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    constexpr unsigned int kGlRenderer = 0x1F01;
    const unsigned char* name = getString ? getString(kGlRenderer) : nullptr;
    if (!name) return false;
    const std::string text(reinterpret_cast<const char*>(name));
    for (const char* software : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"})
        if (text.find(software) != std::string::npos) return true;
    return false;
}

// No vsync in either case: a picture waiting for the next refresh is shown late.
SDL_Renderer* createRenderer(SDL_Window* window)
{
    // Whoever names a renderer (SDL_RENDER_DRIVER) gets it.
    if (SDL_GetHint(SDL_HINT_RENDER_DRIVER)) return SDL_CreateRenderer(window, -1, 0);
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
    if (renderer && !isSoftwareOpenGl(renderer)) return renderer;
    if (renderer) SDL_DestroyRenderer(renderer);
    // The software renderer then writes straight into the X server's shared
    // memory instead of going through OpenGL once more.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    return SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
}

SDL_YUV_CONVERSION_MODE yuvModeOf(const AVFrame* picture)
{
    // Our encoder converts with BT.601 at limited range and does not say so in the
    // stream; other senders may say BT.709.
    if (picture->colorspace == AVCOL_SPC_BT709) return SDL_YUV_CONVERSION_BT709;
    if (picture->color_range == AVCOL_RANGE_JPEG || picture->format == AV_PIX_FMT_YUVJ420P)
        return SDL_YUV_CONVERSION_JPEG;
    return SDL_YUV_CONVERSION_BT601;
}
}  // namespace

PlayerWindow::PlayerWindow(FrameDone frameDone, CloseRequested closeRequested)
    : frameDone_(std::move(frameDone)), closeRequested_(std::move(closeRequested))
{
}

PlayerWindow::~PlayerWindow()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        wake();
    }
    if (thread_.joinable()) thread_.join();
    av_frame_free(&pending_);
}

bool PlayerWindow::open(const std::string& title, bool fullscreen, std::string* error)
{
    thread_ = std::thread(&PlayerWindow::run, this, title, fullscreen);
    std::unique_lock<std::mutex> lock(mutex_);
    opened_.wait(lock, [this] { return openDone_; });
    if (!sdlRunning_) *error = openError_;
    return sdlRunning_;
}

void PlayerWindow::setTitle(const std::string& title)
{
    std::lock_guard<std::mutex> lock(mutex_);
    title_ = title;
    titleChanged_ = true;
    wake();
}

void PlayerWindow::show(AVFrame* picture, const FrameTiming& timing)
{
    AVFrame* replaced = nullptr;
    FrameTiming replacedTiming;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        replaced = pending_;
        replacedTiming = pendingTiming_;
        pending_ = picture;
        pendingTiming_ = timing;
        wake();
    }
    if (!replaced) return;
    av_frame_free(&replaced);
    replacedTiming.presentedNs = 0;
    frameDone_(replacedTiming);
}

void PlayerWindow::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    clearRequested_ = true;
    wake();
}

void PlayerWindow::wake()
{
    if (!sdlRunning_) return;
    SDL_Event event{};
    event.type = wakeEvent_;
    SDL_PushEvent(&event);
}

void PlayerWindow::run(std::string title, bool fullscreen)
{
    std::string error;
    const bool ok = createWindow(title, fullscreen, &error);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        openDone_ = true;
        sdlRunning_ = ok;
        openError_ = error;
    }
    opened_.notify_all();
    if (!ok) return;
    render();

    for (;;) {
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, kIdleWaitMs)) {
            handle(event);
            while (SDL_PollEvent(&event)) handle(event);
        }
        AVFrame* picture = nullptr;
        FrameTiming timing;
        bool clear = false;
        std::string newTitle;
        bool retitle = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (quit_) break;
            std::swap(picture, pending_);
            timing = pendingTiming_;
            std::swap(clear, clearRequested_);
            std::swap(retitle, titleChanged_);
            if (retitle) newTitle = title_;
        }
        if (retitle) SDL_SetWindowTitle(window_, newTitle.c_str());
        if (clear) {
            if (texture_) SDL_DestroyTexture(texture_);
            texture_ = nullptr;
            textureWidth_ = textureHeight_ = 0;
            if (!picture) render();
        }
        if (picture) {
            upload(picture);
            av_frame_free(&picture);
            render();
            timing.presentedNs = steadyNowNs();
            frameDone_(timing);
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sdlRunning_ = false;  // no more wake-up events from here on
    }
    destroyWindow();
}

bool PlayerWindow::createWindow(const std::string& title, bool fullscreen, std::string* error)
{
    // The receiver handles SIGINT and SIGTERM itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    // A compositor would add a frame of delay to every picture.
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "1");
    // On X11 alone, Wayland need not be tried (and complain) first.
    if (!SDL_getenv("SDL_VIDEODRIVER") && !SDL_getenv("WAYLAND_DISPLAY") && SDL_getenv("DISPLAY"))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        const char* display = SDL_getenv("DISPLAY");
        *error = std::string("cannot open a window on display ") + (display ? display : "?") +
                 ": " + SDL_GetError();
        return false;
    }
    // With no display to reach SDL falls back to drawing off screen, where nobody
    // would see the picture; only someone who asks for such a driver gets it.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!SDL_getenv("SDL_VIDEODRIVER") && driver &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        const char* display = SDL_getenv("DISPLAY");
        *error = std::string("cannot open a window: no display at ") +
                 (display ? display : "WAYLAND_DISPLAY");
        SDL_Quit();
        return false;
    }
    wakeEvent_ = SDL_RegisterEvents(1);
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    SDL_Rect place{int(SDL_WINDOWPOS_CENTERED), int(SDL_WINDOWPOS_CENTERED), kDefaultWidth,
                   kDefaultHeight};
    // Made as large as the screen from the start: without a window manager nobody
    // else would make a full-screen window cover the screen.
    SDL_Rect screen;
    if (fullscreen) {
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        if (SDL_GetDisplayBounds(0, &screen) == 0) place = screen;
    }
    window_ = SDL_CreateWindow(title.c_str(), place.x, place.y, place.w, place.h, flags);
    if (window_) renderer_ = createRenderer(window_);
    if (!window_ || !renderer_ || wakeEvent_ == Uint32(-1)) {
        *error = std::string("cannot open a window: ") + SDL_GetError();
        destroyWindow();
        return false;
    }
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer_, &info) == 0)
        std::fprintf(stderr, "window: %s renderer on %s\n", info.name, SDL_GetCurrentVideoDriver());
    return true;
}

void PlayerWindow::destroyWindow()
{
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
    SDL_Quit();
}

void PlayerWindow::handle(const SDL_Event& event)
{
    switch (event.type) {
        case SDL_QUIT:
            if (!closeReported_) closeRequested_();
            closeReported_ = true;
            break;
        case SDL_KEYDOWN: {
            const SDL_Keycode key = event.key.keysym.sym;
            const bool isFullscreen = SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN;
            if (key == SDLK_f || key == SDLK_F11)
                SDL_SetWindowFullscreen(window_, isFullscreen ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
            else if (key == SDLK_ESCAPE && isFullscreen)
                SDL_SetWindowFullscreen(window_, 0);
            else if (key == SDLK_q && !closeReported_) {
                closeReported_ = true;
                closeRequested_();
            }
            break;
        }
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                render();
            break;
        default:
            break;
    }
}

void PlayerWindow::upload(AVFrame* picture)
{
    const int mode = yuvModeOf(picture);
    if (!texture_ || textureWidth_ != picture->width || textureHeight_ != picture->height ||
        mode != yuvMode_) {
        if (texture_) SDL_DestroyTexture(texture_);
        SDL_SetYUVConversionMode(SDL_YUV_CONVERSION_MODE(mode));
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_IYUV, SDL_TEXTUREACCESS_STREAMING,
                                     picture->width, picture->height);
        textureWidth_ = texture_ ? picture->width : 0;
        textureHeight_ = texture_ ? picture->height : 0;
        yuvMode_ = mode;
        if (!texture_) {
            std::fprintf(stderr, "window: cannot make a %dx%d picture: %s\n", picture->width,
                         picture->height, SDL_GetError());
            return;
        }
    }
    SDL_UpdateYUVTexture(texture_, nullptr, picture->data[0], picture->linesize[0],
                         picture->data[1], picture->linesize[1], picture->data[2],
                         picture->linesize[2]);
}

void PlayerWindow::render()
{
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    int width = 0, height = 0;
    if (texture_ && SDL_GetRendererOutputSize(renderer_, &width, &height) == 0) {
        const PictureRect rect = letterbox(textureWidth_, textureHeight_, width, height);
        const SDL_Rect target{rect.x, rect.y, rect.width, rect.height};
        SDL_RenderCopy(renderer_, texture_, nullptr, &target);
    }
    SDL_RenderPresent(renderer_);
}

}  // namespace vantor::receiver
