/* A stand-in for a screen saver daemon's window: a plain mapped X window that
 * a hosted saver draws in. Prints the window id (0x...) on stdout, then
 * keeps the window until killed. With --no-gl-visual the window gets a
 * visual that no OpenGL configuration of the server can draw (exit 77 when
 * the server has none such).
 * Usage: hostwin X Y WIDTH HEIGHT [--no-gl-visual] */
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int VisualHasGl(Display* dpy, int screen, VisualID id) {
    int n = 0, found = 0;
    GLXFBConfig* c = glXGetFBConfigs(dpy, screen, &n);
    for (int i = 0; i < n && !found; ++i) {
        int vid = 0, db = 0, rt = 0;
        glXGetFBConfigAttrib(dpy, c[i], GLX_VISUAL_ID, &vid);
        glXGetFBConfigAttrib(dpy, c[i], GLX_DOUBLEBUFFER, &db);
        glXGetFBConfigAttrib(dpy, c[i], GLX_RENDER_TYPE, &rt);
        found = (VisualID)vid == id && db && (rt & GLX_RGBA_BIT);
    }
    if (c) XFree(c);
    return found;
}

int main(int argc, char** argv) {
    if (argc != 5 && !(argc == 6 && strcmp(argv[5], "--no-gl-visual") == 0)) {
        fprintf(stderr, "usage: hostwin X Y WIDTH HEIGHT [--no-gl-visual]\n");
        return 2;
    }
    Display* dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "hostwin: no display\n");
        return 1;
    }
    int screen = DefaultScreen(dpy);
    Visual* visual = DefaultVisual(dpy, screen);
    int depth = DefaultDepth(dpy, screen);
    if (argc == 6) {
        XVisualInfo tmpl = {0};
        tmpl.screen = screen;
        int n = 0;
        XVisualInfo* all = XGetVisualInfo(dpy, VisualScreenMask, &tmpl, &n);
        visual = NULL;
        for (int i = 0; i < n && !visual; ++i) {
            if (all[i].depth >= 15 && !VisualHasGl(dpy, screen, all[i].visualid)) {
                visual = all[i].visual;
                depth = all[i].depth;
            }
        }
        if (all) XFree(all);
        if (!visual) {
            fprintf(stderr, "hostwin: every visual takes OpenGL here\n");
            return 77;
        }
    }
    XSetWindowAttributes a = {0};
    a.colormap = XCreateColormap(dpy, RootWindow(dpy, screen), visual, AllocNone);
    a.background_pixel = 0;
    a.border_pixel = 0;
    Window w = XCreateWindow(dpy, RootWindow(dpy, screen), atoi(argv[1]), atoi(argv[2]), (unsigned)atoi(argv[3]),
                             (unsigned)atoi(argv[4]), 0, depth, InputOutput, visual,
                             CWColormap | CWBackPixel | CWBorderPixel, &a);
    XStoreName(dpy, w, "nereval test host");
    XMapWindow(dpy, w);
    XSync(dpy, False);
    printf("0x%lx\n", (unsigned long)w);
    fflush(stdout);
    for (;;) pause();
}
