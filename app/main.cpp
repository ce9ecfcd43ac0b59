// Pelumir: collects image files and folders into a list and shows every
// JPEG and BMP full screen, shrunk to fit and centred on black.
#include "app/Program.h"

int main(int argc, char** argv) { return pelumir::RunProgram(argc, argv); }
