// Penlark's executable: the command line decides between the window (the paint program
// on the handheld's screen) and the headless exports, thumbnails and descriptions.
#include <cstdio>

#include "paint_cli.h"

int main(int argc, char** argv) { return paint_cli_run(argc, argv, stdout, stderr); }
