// The floor of `make bench`: a minimal SDL + OpenGL program that only clears and
// presents, unpaced. A measuring tool, so it uses SDL and GL directly.
//
// frame_floor w   a 640 x 480 window, like the saver's test window
// frame_floor s   a borderless full-screen window at the desktop size
// Runs until SIGTERM/SIGINT (or a close request), then prints the same frame
// report line as the saver's device (platform/os/frame_meter.h).
#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#include <SDL.h>

#include <csignal>
#include <cstdio>

#include "platform/os/frame_meter.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }
}  // namespace

int main(int argc, char** argv) {
    const bool fullScreen = argc > 1 && (argv[1][0] == 's' || argv[1][0] == 'S');
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "frame_floor: %s\n", SDL_GetError());
        return 1;
    }
    // The same context and window set-up as the saver's.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    Uint32 flags = SDL_WINDOW_OPENGL;
    if (fullScreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
    SDL_Window* window =
        SDL_CreateWindow("frame_floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480, flags);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "frame_floor: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetSwapInterval(0);
    FrameMeter meter;
    float shade = 0.0f;
    while (!g_stop) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            if (e.type == SDL_QUIT) g_stop = 1;
        }
        shade = shade > 1.0f ? 0.0f : shade + 0.01f;
        glClearColor(shade, 0.2f, 0.3f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        SDL_GL_SwapWindow(window);
        meter.OnPresent();
    }
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    char label[64];
    std::snprintf(label, sizeof label, "frame_floor %dx%d", w, h);
    meter.Print(stderr, label);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
