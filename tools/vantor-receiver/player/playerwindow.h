// The receiver's window: shows each decoded picture as soon as it is handed over,
// scaled to the window with its aspect ratio kept. SDL runs on the window's own
// thread (it created the window, so it renders and reads the window's events);
// every other method may be called from any thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "tools/vantor-receiver/player/frametiming.h"

struct AVFrame;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Window;
union SDL_Event;

namespace vantor::receiver {

class PlayerWindow {
public:
    // A picture reached the screen (timing.presentedNs set; called on the window
    // thread) or was replaced unseen (called on the thread that replaced it).
    using FrameDone = std::function<void(const FrameTiming& timing)>;
    // The person closed the window or pressed Q. Called on the window thread.
    using CloseRequested = std::function<void()>;

    PlayerWindow(FrameDone frameDone, CloseRequested closeRequested);
    ~PlayerWindow();
    PlayerWindow(const PlayerWindow&) = delete;
    PlayerWindow& operator=(const PlayerWindow&) = delete;

    // Opens the window and waits until it is up. False with the reason in *error
    // when there is no display to open it on.
    bool open(const std::string& title, bool fullscreen, std::string* error);
    void setTitle(const std::string& title);
    // Takes the picture (planar 4:2:0); a picture still waiting is replaced by it.
    void show(AVFrame* picture, const FrameTiming& timing);
    // Forgets the last picture: the window goes black.
    void clear();

private:
    void run(std::string title, bool fullscreen);
    bool createWindow(const std::string& title, bool fullscreen, std::string* error);
    void destroyWindow();
    void handle(const SDL_Event& event);
    void wake();  // mutex_ held
    void upload(AVFrame* picture);
    void render();

    FrameDone frameDone_;
    CloseRequested closeRequested_;
    std::thread thread_;

    // Shared with the other threads, under mutex_.
    std::mutex mutex_;
    std::condition_variable opened_;
    bool openDone_ = false;
    std::string openError_;
    bool sdlRunning_ = false;  // SDL is up: wake-up events may be pushed
    bool quit_ = false;
    bool titleChanged_ = false;
    std::string title_;
    bool clearRequested_ = false;
    AVFrame* pending_ = nullptr;
    FrameTiming pendingTiming_;
    unsigned int wakeEvent_ = 0;

    // Window thread only.
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0, textureHeight_ = 0;
    int yuvMode_ = -1;
    bool closeReported_ = false;
};

}  // namespace vantor::receiver
