/* A colour profile whose red and green are sRGB's green and red, written
 * to a file (for pictures to carry) or published on the root window, as a
 * colour manager publishes the screen's. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <lcms2.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "--write") != 0 && strcmp(argv[1], "--publish") != 0)) {
        fputs("usage: screen_profile --write FILE | --publish swapped\n", stderr);
        return 2;
    }
    const double srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(NULL, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const cmsCIExyY white = {0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE swapped = {{0.30, 0.60, 1}, {0.64, 0.33, 1}, {0.15, 0.06, 1}};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &swapped, curves);
    if (strcmp(argv[1], "--write") == 0) return cmsSaveProfileToFile(profile, argv[2]) ? 0 : 1;
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, NULL, &size);
    unsigned char* bytes = malloc(size);
    if (bytes == NULL || !cmsSaveProfileToMem(profile, bytes, &size)) return 1;
    Display* d = XOpenDisplay(NULL);
    if (d == NULL) return 1;
    XChangeProperty(d, DefaultRootWindow(d), XInternAtom(d, "_ICC_PROFILE", False), XA_CARDINAL, 8, PropModeReplace,
                    bytes, (int)size);
    XSync(d, False);
    XCloseDisplay(d);
    return 0;
}
