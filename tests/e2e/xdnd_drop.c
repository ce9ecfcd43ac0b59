/* Drops local files on an X11 window the way a file manager does: an XDND
 * version 5 drag source with the copy action, offering the files' URIs as
 * text/uri-list and, as many file managers do, as plain text too. A text
 * box that takes a drop itself inserts that text; without plain text on
 * offer, Qt's text boxes turn the drop down and the fault would not show.
 *
 *   xdnd_drop <window-id> <x> <y> <path>...
 *
 * x and y are relative to the window. The drop goes to the XdndAware
 * top-level under that point, which must be the given window, so a window
 * that is covered or a point outside it fails instead of dropping elsewhere.
 * Exit status: 0 the target took the drop, 1 bad use or no target,
 * 2 the target did not answer in time, 3 the target refused the drop. */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

enum { kVersion = 5, kTimeoutMs = 30000 };

static Display* dpy;
static Window source, target;
static Atom aAware, aEnter, aPosition, aStatus, aLeave, aDrop, aFinished, aSelection, aTypeList, aCopy,
    aUriList, aTextUtf8, aUtf8String, aTargets;

static char* uris;
static size_t urisLen, urisCap;

static void append(const char* s, size_t n) {
    if (urisLen + n > urisCap) {
        urisCap = (urisLen + n) * 2;
        uris = realloc(uris, urisCap);
        if (!uris) exit(1);
    }
    memcpy(uris + urisLen, s, n);
    urisLen += n;
}

/* Every byte outside the unreserved set percent-encoded, so blanks, '%',
 * '#' and UTF-8 names reach the target as they are on disk. */
static void append_encoded(const char* s) {
    static const char hex[] = "0123456789ABCDEF";
    for (const char* p = s; *p; ++p) {
        unsigned char c = (unsigned char)*p;
        char esc[3] = {'%', hex[c >> 4], hex[c & 15]};
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || strchr("-._~/", c))
            append(p, 1);
        else
            append(esc, 3);
    }
}

static void append_uri(const char* path) {
    append("file://", 7);
    if (path[0] != '/') {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) exit(1);
        append_encoded(cwd);
        append("/", 1);
    }
    append_encoded(path);
    append("\r\n", 2);
}

static long now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

/* The next event, or 0 once the deadline has passed. */
static int next_event(XEvent* ev, long deadline) {
    while (!XPending(dpy)) {
        long left = deadline - now_ms();
        if (left <= 0) return 0;
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(dpy), &fds);
        struct timeval tv = {left / 1000, (left % 1000) * 1000};
        select(ConnectionNumber(dpy) + 1, &fds, NULL, NULL, &tv);
    }
    XNextEvent(dpy, ev);
    return 1;
}

static void send_message(Atom type, long l1, long l2, long l3, long l4) {
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = target;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)source;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    ev.xclient.data.l[4] = l4;
    XSendEvent(dpy, target, False, NoEventMask, &ev);
    XFlush(dpy);
}

/* The target may ask for the data at any time, before the drop as well. */
static void answer_request(const XSelectionRequestEvent* req) {
    XSelectionEvent reply;
    memset(&reply, 0, sizeof reply);
    reply.type = SelectionNotify;
    reply.requestor = req->requestor;
    reply.selection = req->selection;
    reply.target = req->target;
    reply.time = req->time;
    reply.property = None;
    Atom property = req->property != None ? req->property : req->target;
    int offered = req->target == aUriList || req->target == aTextUtf8 || req->target == aUtf8String;
    if (req->selection == aSelection && offered) {
        XChangeProperty(dpy, req->requestor, property, req->target, 8, PropModeReplace, (unsigned char*)uris,
                        (int)urisLen);
        reply.property = property;
    } else if (req->selection == aSelection && req->target == aTargets) {
        Atom list[4] = {aTargets, aUriList, aTextUtf8, aUtf8String};
        XChangeProperty(dpy, req->requestor, property, XA_ATOM, 32, PropModeReplace, (unsigned char*)list, 4);
        reply.property = property;
    }
    XSendEvent(dpy, req->requestor, False, NoEventMask, (XEvent*)&reply);
    XFlush(dpy);
}

/* XDND version a window accepts, or -1 when it takes no drops. */
static long xdnd_version(Window w) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    long version = -1;
    if (XGetWindowProperty(dpy, w, aAware, 0, 1, False, XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        type == XA_ATOM && format == 32 && count == 1)
        version = (long)((Atom*)data)[0];
    if (data) XFree(data);
    return version;
}

int main(int argc, char** argv) {
    if (argc < 5) {
        fprintf(stderr, "usage: xdnd_drop <window-id> <x> <y> <path>...\n");
        return 1;
    }
    dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "xdnd_drop: cannot open the display\n");
        return 1;
    }
    Window given = (Window)strtoul(argv[1], NULL, 0);
    for (int i = 4; i < argc; ++i) append_uri(argv[i]);

    const char* names[] = {"XdndAware", "XdndEnter", "XdndPosition", "XdndStatus", "XdndLeave", "XdndDrop",
                           "XdndFinished", "XdndSelection", "XdndTypeList", "XdndActionCopy", "text/uri-list",
                           "text/plain;charset=utf-8", "UTF8_STRING", "TARGETS"};
    Atom atoms[14];
    XInternAtoms(dpy, (char**)names, 14, False, atoms);
    aAware = atoms[0], aEnter = atoms[1], aPosition = atoms[2], aStatus = atoms[3], aLeave = atoms[4];
    aDrop = atoms[5], aFinished = atoms[6], aSelection = atoms[7], aTypeList = atoms[8], aCopy = atoms[9];
    aUriList = atoms[10], aTextUtf8 = atoms[11], aUtf8String = atoms[12], aTargets = atoms[13];
    Atom types[3] = {aUriList, aTextUtf8, aUtf8String};

    Window root = DefaultRootWindow(dpy);
    XSetWindowAttributes attrs;
    attrs.event_mask = PropertyChangeMask;
    source = XCreateWindow(dpy, root, -10, -10, 1, 1, 0, CopyFromParent, InputOnly, CopyFromParent, CWEventMask, &attrs);

    /* Setting the type list gives a server time stamp for the messages. */
    XChangeProperty(dpy, source, aTypeList, XA_ATOM, 32, PropModeReplace, (unsigned char*)types, 3);
    XEvent ev;
    XWindowEvent(dpy, source, PropertyChangeMask, &ev);
    Time stamp = ev.xproperty.time;
    XSetSelectionOwner(dpy, aSelection, source, stamp);
    if (XGetSelectionOwner(dpy, aSelection) != source) {
        fprintf(stderr, "xdnd_drop: cannot own XdndSelection\n");
        return 1;
    }

    /* Down from the root to the first window under the point that takes drops. */
    int rx, ry, cx, cy;
    Window child, w = root;
    if (!XTranslateCoordinates(dpy, given, root, atoi(argv[2]), atoi(argv[3]), &rx, &ry, &child)) return 1;
    long version = -1;
    while (version < 0 && XTranslateCoordinates(dpy, root, w, rx, ry, &cx, &cy, &child) && child != None) {
        w = child;
        version = xdnd_version(w);
    }
    if (version < 3 || w != given) {
        fprintf(stderr, "xdnd_drop: the window taking drops at (%d, %d) is 0x%lx (XDND %ld), not 0x%lx\n", rx, ry,
                version < 0 ? 0UL : (unsigned long)w, version, (unsigned long)given);
        return 1;
    }
    target = w;
    if (version > kVersion) version = kVersion;

    send_message(aEnter, version << 24, (long)types[0], (long)types[1], (long)types[2]);
    send_message(aPosition, 0, ((long)rx << 16) | (ry & 0xffff), (long)stamp, (long)aCopy);

    int dropped = 0;
    long deadline = now_ms() + kTimeoutMs;
    for (;;) {
        if (!next_event(&ev, deadline)) {
            fprintf(stderr, "xdnd_drop: no %s from the target\n", dropped ? "XdndFinished" : "XdndStatus");
            if (!dropped) send_message(aLeave, 0, 0, 0, 0);
            return 2;
        }
        if (ev.type == SelectionRequest) {
            answer_request(&ev.xselectionrequest);
        } else if (ev.type == ClientMessage && (Window)ev.xclient.data.l[0] == target) {
            if (ev.xclient.message_type == aStatus && !dropped) {
                if (!(ev.xclient.data.l[1] & 1)) {
                    fprintf(stderr, "xdnd_drop: the target refuses the drop\n");
                    send_message(aLeave, 0, 0, 0, 0);
                    return 3;
                }
                send_message(aDrop, 0, (long)stamp, 0, 0);
                dropped = 1;
            } else if (ev.xclient.message_type == aFinished && dropped) {
                if (!(ev.xclient.data.l[1] & 1)) {
                    fprintf(stderr, "xdnd_drop: the target finished without taking the drop\n");
                    return 3;
                }
                XCloseDisplay(dpy);
                return 0;
            }
        }
    }
}
